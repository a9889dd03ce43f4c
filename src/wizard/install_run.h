// The install run: copies the chosen files from one disc after another into
// the destination, merges the discs' archives into its game.dat, writes the
// description with Installed set, makes the program group and records the
// destination in the registry. It runs inside the wizard's page switch and
// talks to the window only through a RunHost.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "setup/program_state.h"
#include "wizard/run_events.h"
#include "wizard/run_host.h"

namespace tarn {

// How a run ended. Aborted and Failed runs have set the wizard's modal
// result (Abort, or OK after a directory could not be made) and leave the
// buttons as they are.
enum class RunOutcome { Completed, Aborted, Failed };

struct InstallChoices {
    bool AllDiscs = false; // RadioDiskAll
    bool Data = false, Sound = false, Movie = false;
    AnsiString Destination; // what EditDir holds
    int64_t NeededSize = 0; // the progress range
    bool Shortcuts = true;  // false: no program group is made
};

// The files of the disc in S that an installation with these choices copies,
// in listing order (full paths).
StringList FilesToCopy(const AnsiString& sourceDir, const InstallChoices& choices);

// Runs the install with the state start-up owns: SourceDir, InstallSet
// (reloaded from each disc), GameArchive (closed and opened again on each
// disc), DiscPaths and ModulePath.
RunOutcome RunInstall(TProgramState& state, const InstallChoices& choices, RunHost& host, const RunEvents& events = {});

} // namespace tarn
