// Start-up: the role from the argument and the description's Installed flag,
// the single-instance guard, the temporary copy, and the program to start
// after the last window has closed.
#pragma once

#include <optional>
#include <string>

#include "base/text.h"
#include "wizard/run_options.h"
#include "wizard/unattended.h"

namespace tarn {

struct StartupOptions {
    // The positional argument (the source directory), as a program path.
    std::optional<AnsiString> Argument;
    // --source DIR: act as the program lying in DIR would without an argument.
    std::optional<AnsiString> Source;
    // The running program's path (tests give another).
    AnsiString ModulePath;
    // What the runs do beyond the wizard's choices: --disc N=PATH (handed on
    // to the temporary copy too) and the like.
    RunOptions Run;
    // --ui as given ("" when not): handed on to the temporary copy.
    std::string Ui;
};

// What start-up asks the shell to open at the very end; File empty: nothing.
struct LaunchRequest {
    AnsiString File;
    AnsiString Params;
    // The program's own temporary copy (which a console hands itself over to).
    bool TemporaryCopy = false;
};

// Runs start-up with the application's current backend and returns the
// follow-up program. The mutex is already released when this returns.
LaunchRequest RunStartup(const StartupOptions& options);

// Start-up for an installation or removal without a person: the same
// description checks and single-instance guard, then the unattended run in
// place of the windows (no launcher, no temporary copy). Returns its exit
// status.
int RunUnattendedStartup(const StartupOptions& options, const UnattendedOptions& unattended);

// The temporary copy's file name in the temporary directory.
inline constexpr char kTempCopyName[] = "$$tinstall.exe";

} // namespace tarn
