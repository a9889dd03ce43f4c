// What a run (install or uninstall) needs from whoever shows it, said as what
// the run means, never as which widget shows it. The wizard is one host (its
// labels, bar, pages and message boxes), installs without a person another
// (answers from the options, a log), the tests script a third. Runs return
// an outcome; what follows it (a page, a status) is the caller's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/text.h"
#include "platform/file_routines.h"

namespace tarn {

// How a run ended. Aborted: a person (or a host answering for one) chose to
// stop; Failed: the run could not go on (it has told the host why). Either
// way the run has put back what it had claimed.
enum class RunOutcome { Completed, Aborted, Failed };

enum class DiscAnswer { Retry, Abort };

enum class ReportKind { Information, Warning, Error };

// What was done, for those who keep a record (the unattended log, tests, the
// pictures of the documentation). Each notice goes on to the next observer
// when there is one; an observer overrides what it keeps.
class RunObserver {
public:
    explicit RunObserver(RunObserver* next = nullptr) : next_(next) { }
    virtual ~RunObserver() = default;
    // Disc index is read from dir; lookedAt: the places looked at to find it
    // (empty for the disc the run started on).
    virtual void DiscFound(int index, const AnsiString& dir, const StringList& lookedAt)
    {
        if (next_)
            next_->DiscFound(index, dir, lookedAt);
    }
    virtual void FileCopied(const AnsiString& from, const AnsiString& to, int64_t size, CopyOutcome outcome)
    {
        if (next_)
            next_->FileCopied(from, to, size, outcome);
    }
    // A file the destination held already, read again and found to be what
    // the installation's record expects (size and SHA-256): kept, not copied.
    virtual void FoundComplete(const AnsiString& file, int64_t size)
    {
        if (next_)
            next_->FoundComplete(file, size);
    }
    // Entries of archive (the destination's game.dat, or the work file of a
    // merge that was interrupted) read again and kept.
    virtual void EntriesFoundComplete(const AnsiString& archive, int32_t entries, int64_t bytes)
    {
        if (next_)
            next_->EntriesFoundComplete(archive, entries, bytes);
    }
    // The archive of disc index merged into the destination's game.dat.
    virtual void ArchiveMerged(int index, int32_t sourceEntries, int32_t entriesBefore, int32_t entriesAfter)
    {
        if (next_)
            next_->ArchiveMerged(index, sourceEntries, entriesBefore, entriesAfter);
    }
    // A command text sent to the program manager.
    virtual void ProgramManagerCommand(const AnsiString& command)
    {
        if (next_)
            next_->ProgramManagerCommand(command);
    }
    virtual void RegistryWritten(const AnsiString& name, const AnsiString& value)
    {
        if (next_)
            next_->RegistryWritten(name, value);
    }
    virtual void RegistryDeleted()
    {
        if (next_)
            next_->RegistryDeleted();
    }
    // The names the uninstall hands to the shell's file operation.
    virtual void Removing(const StringList& names)
    {
        if (next_)
            next_->Removing(names);
    }
    // What the uninstall left in dir because the installation did not put it
    // there (relative paths).
    virtual void Kept(const AnsiString& dir, const StringList& relative)
    {
        if (next_)
            next_->Kept(dir, relative);
    }
    // A file the description names (the game's program, the read-me) that
    // gets no menu item and is never opened: it lies outside the destination.
    virtual void LeftOut(const AnsiString& file)
    {
        if (next_)
            next_->LeftOut(file);
    }
    // Something a failed or aborted run put back: what, in words for a log
    // ("removed", "registry value put back"), and the path it concerns (may
    // be empty).
    virtual void RolledBack(const std::string& what, const AnsiString& path)
    {
        if (next_)
            next_->RolledBack(what, path);
    }
    // What the installed game will lack where it runs (no Japanese locale,
    // fonts or wine), a sentence per thing, said as the install completes.
    virtual void Wanting(const AnsiString& text)
    {
        if (next_)
            next_->Wanting(text);
    }

private:
    RunObserver* next_;
};

class RunHost : public RunObserver {
public:
    using RunObserver::RunObserver;

    // The run has begun; heading: what it does as a whole
    // ("ファイルをコピーしています", "<title> を削除しています").
    virtual void Begin(const AnsiString& heading) = 0;
    // A step of the run begins ("ショートカットを作成しています"); the host
    // handles what the person does meanwhile. False: stop (an abort asked for
    // and confirmed, here and below).
    virtual bool Step(const AnsiString& text) = 0;
    // The item being worked on ("readme.txt をコピー中..."); shown with the
    // next Progress.
    virtual void Item(const AnsiString& text) = 0;
    // Progress in bytes: the total, then the bytes done as they are done (the
    // position only grows; past the total it stays full). Progress handles
    // what the person does meanwhile and asks and confirms an abort itself;
    // Progress(0) only listens. EndProgress: no bar and no item any more.
    virtual void BeginProgress(int64_t total) = 0;
    virtual bool Progress(int64_t bytes) = 0;
    virtual void EndProgress() = 0;
    // Disc index (from 0) is in none of the places looked at: Retry looks
    // again; Abort is an abort already confirmed. A host that waits for a
    // person asks watch.Present now and then and answers Retry by itself
    // when the disc is there (a medium inserted, an image that appeared),
    // and hands a place the person points at (a folder, an install.dat, an
    // image) to watch.TryPlace: "" when it holds the disc asked for (then
    // Retry finds it), else a line saying what was found there.
    struct DiscWatch {
        std::function<bool()> Present;
        std::function<AnsiString(const AnsiString& place)> TryPlace;
    };
    virtual DiscAnswer PromptDisc(int index, const StringList& lookedAt, const DiscWatch& watch) = 0;
    // File could not be copied to target (reason: what the system said,
    // may be empty): true goes on without it.
    virtual bool ContinueAfterCopyFailure(const AnsiString& file, const AnsiString& target, const AnsiString& reason) = 0;
    virtual void Report(ReportKind kind, const AnsiString& text) = 0;
    // A fixed pause (for a program manager, for a drive).
    virtual void Pause(uint32_t milliseconds) = 0;
    virtual void BringToFront() = 0;
    // The process's current directory must not stay in or below dir (the
    // directory goes): the host moves it somewhere safe.
    virtual void LeaveDirectory(const AnsiString& dir) = 0;
    // A document for the person to read (the read-me).
    virtual void OpenDocument(const AnsiString& file) = 0;
};

} // namespace tarn
