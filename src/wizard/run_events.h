// What the runs did, for those who watch them: tests, the benchmark, the
// pictures of the documentation and the log of unattended installs. Every
// member may be left empty.
#pragma once

#include <cstdint>
#include <functional>

#include "base/text.h"
#include "platform/file_routines.h"

namespace tarn {

struct RunEvents {
    // Disc index is read from dir; lookedAt: the places looked at to find it
    // (empty for the disc the run started on).
    std::function<void(int index, const AnsiString& dir, const StringList& lookedAt)> DiscFound;
    // No place holds disc index. True ends the run as an abort confirmed in
    // the disc prompt, without the prompt (there is nobody to ask).
    std::function<bool(int index, const StringList& lookedAt)> DiscMissing;
    std::function<void(const AnsiString& from, const AnsiString& to, int64_t size, CopyOutcome outcome)> FileCopied;
    // The archive of disc index merged into the destination's game.dat.
    std::function<void(int index, int32_t sourceEntries, int32_t entriesBefore, int32_t entriesAfter)> ArchiveMerged;
    // A command text sent to the program manager.
    std::function<void(const AnsiString& command)> ProgramManagerCommand;
    std::function<void(const AnsiString& name, const AnsiString& value)> RegistryWritten;
    std::function<void()> RegistryDeleted;
    // The names the uninstall hands to the shell's file operation.
    std::function<void(const StringList& names)> Deleting;
};

} // namespace tarn
