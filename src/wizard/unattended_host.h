// The host of installs and removals without a person: every question is
// answered from the options (a disc found nowhere aborts, a copy failure
// stops), every step goes into the log, and progress goes to standard error
// (a bar on a terminal, a line per step otherwise). No window is involved.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "wizard/run_host.h"

namespace tarn {

// A description's or disc's text, and a path, as the log and standard error
// show them: escaped, so that a name read from a disc cannot end a line or
// steer the terminal.
std::string LogText(const AnsiString& cp932);
std::string LogPath(const AnsiString& path);

// One UTF-8 line per step, with the local time, into a file or standard error.
class RunLog {
public:
    // path: a host path, "-" for standard error, "" for no log.
    explicit RunLog(const std::string& path);
    // The file could not be created.
    bool Failed() const { return failed_; }
    void Line(const std::string& utf8);

private:
    std::unique_ptr<platform::File> file_;
    bool toStderr_ = false, failed_ = false;
};

class UnattendedHost : public RunHost {
public:
    UnattendedHost(RunLog& log, bool verySilent);

    void Begin(const AnsiString& heading) override;
    bool Step(const AnsiString& text) override;
    void Item(const AnsiString& text) override;
    void BeginProgress(int64_t total) override;
    bool Progress(int64_t bytes) override;
    void EndProgress() override;
    DiscAnswer PromptDisc(int index, const StringList& lookedAt, const DiscWatch& watch) override;
    bool ContinueAfterCopyFailure(const AnsiString& file, const AnsiString& target, const AnsiString& reason) override;
    void Report(ReportKind kind, const AnsiString& text) override;
    void Wanting(const AnsiString& text) override;
    void Pause(uint32_t) override { }
    void BringToFront() override { }
    void LeaveDirectory(const AnsiString& dir) override;
    void OpenDocument(const AnsiString& file) override;

    void DiscFound(int index, const AnsiString& dir, const StringList& lookedAt) override;
    void FileCopied(const AnsiString& from, const AnsiString& to, int64_t size, CopyOutcome outcome) override;
    void FoundComplete(const AnsiString& file, int64_t size) override;
    void EntriesFoundComplete(const AnsiString& archive, int32_t entries, int64_t bytes) override;
    void ArchiveMerged(int index, int32_t sourceEntries, int32_t entriesBefore, int32_t entriesAfter) override;
    void ProgramManagerCommand(const AnsiString& command) override;
    void RegistryWritten(const AnsiString& name, const AnsiString& value) override;
    void RegistryDeleted() override;
    void Removing(const StringList& names) override;
    void RolledBack(const std::string& what, const AnsiString& path) override;
    void Kept(const AnsiString& dir, const StringList& relative) override;
    void LeftOut(const AnsiString& file) override;

    // The registry key the log names (HKEY_CURRENT_USER\Software\...).
    std::string RegistryKey;
    // An error: on standard error and in the log; the run has failed.
    void Error(const std::string& message);
    // What everybody but a very silent run sees on standard error.
    void Say(const std::string& text);
    // Ends a progress bar line on a terminal.
    void EndLine();
    bool HadErrors() const { return !errors_.empty(); }
    // The last warning told (what a run that then failed had to say), UTF-8.
    const std::string& LastWarning() const { return lastWarning_; }
    bool DiscMissing() const { return discMissing_; }
    // What a run before had left complete and this one kept: in the log,
    // and on standard error unless very silent. Nothing when there was none.
    void SayFoundComplete();

private:
    void ShowProgress(bool newLine);

    RunLog& log_;
    bool verySilent_, terminal_;
    std::vector<std::string> errors_;
    std::string lastWarning_;
    bool discMissing_ = false;
    int64_t foundFiles_ = 0, foundEntries_ = 0, foundBytes_ = 0;
    AnsiString shown_; // the step or item last shown
    bool progressShown_ = false;
    int64_t total_ = 0, position_ = 0;
    int lastPercent_ = -1;
    size_t barWidth_ = 0;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

} // namespace tarn
