// The process-wide state that start-up owns and hands to the windows.
#pragma once

#include <memory>

#include "archive/vr_files.h"
#include "base/text.h"
#include "setup/install_set.h"

namespace tarn {

struct TProgramState {
    // The directory that holds install.dat and game.dat: the argument as it
    // was given, or the program's directory with its trailing backslash.
    AnsiString SourceDir;
    // The directory the program acts as lying in (its own, or --source), with
    // a trailing backslash: the launcher's setup programs and the temporary
    // copy's argument come from it.
    AnsiString ProgramDir;
    // The installation description loaded from SourceDir.
    TTarnInstallSet InstallSet;
    // The archive on SourceDir + game.dat while the launcher or the installer
    // runs; absent in the uninstaller.
    std::unique_ptr<TVrFileCollection> GameArchive;
    // The running program's path (it is placed into an installation where the
    // discs' programs are not this system's).
    AnsiString ModulePath;
};

} // namespace tarn
