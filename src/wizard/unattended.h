// Installs and removals without a person (--silent, --very-silent): the runs
// with every choice made from the options, the questions answered by the
// unattended host, a log of what was done and an exit status for the script
// that started the program.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "setup/program_state.h"
#include "wizard/run_options.h"

namespace tarn {

// The exit statuses of an unattended run.
enum UnattendedStatus : int { kStatusDone = 0, kStatusFailed = 1, kStatusWrongUsage = 2, kStatusAborted = 5 };

struct UnattendedOptions {
    // Only errors on standard error; otherwise progress too.
    bool VerySilent = false;
    // --dir, already a program path; none: what the wizard proposes.
    std::optional<AnsiString> Destination;
    // --components: data, sound, movie; none: none of them (the wizard's boxes).
    std::optional<std::array<bool, 3>> Components;
    // --all-discs (true) or --this-disc (false); none: as the wizard proposes.
    std::optional<bool> AllDiscs;
    bool Uninstall = false;
    bool DeleteSave = false;
    // --repair: the installation (or a disc's) put right from the discs.
    bool Repair = false;
    // --log: a host path, "-" for standard error; empty: no log.
    std::string LogFile;
    // The options as understood, one UTF-8 line each, for the log's first lines.
    std::vector<std::string> Understood;
};

// Parses the value of --components ("data,sound,movie" in any subset and
// order, "all" or "none"); none when it is not one of those.
std::optional<std::array<bool, 3>> ParseComponents(const std::string& list);

// Installs from the disc the state describes (Installed = 0) or removes the
// installation it describes (Installed = 1, or Uninstall with a disc: the
// installation its registry record names). State as start-up prepares it for
// the windows, with the single-instance guard held; run: what start-up took
// from the command line (shortcuts, where discs lie). Returns an UnattendedStatus.
int RunUnattended(TProgramState& state, const RunOptions& run, const UnattendedOptions& options);

// The same ending for what start-up refuses before any run: the message
// goes to standard error and the log; the status is given back (kStatusFailed,
// or kStatusWrongUsage when nothing was named to work on).
// Each of more goes on a line of its own after the message.
int UnattendedRefusal(const UnattendedOptions& options, const AnsiString& message, int status = kStatusFailed,
                      const StringList& more = {});

} // namespace tarn
