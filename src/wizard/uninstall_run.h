// The uninstall run: removes the program group, sends the installation's
// files to the trash (keeping the save data when asked) and deletes the
// registry record.
#pragma once

#include <optional>

#include "base/text.h"
#include "setup/install_set.h"
#include "wizard/file_operation.h"
#include "wizard/run_host.h"
#include "wizard/run_options.h"

namespace tarn {

// Whether dir may be removed as the installation of title: it holds an
// install.dat with Installed = 1 and that title, and it neither is nor holds
// a drive's root, the home or profile folder, the Windows directory or the
// Program Files folder.
bool MayRemoveInstallation(const AnsiString& dir, const AnsiString& title);

// The names the deletion gets: S itself, or every entry directly inside S
// but the first one named save.dat (in any letter case).
StringList UninstallDeletionList(const AnsiString& dir, bool deleteSave);

// The installation the registry records for the game a disc describes,
// when it may be removed (MayRemoveInstallation); none otherwise.
std::optional<AnsiString> RecordedInstallation(const TTarnInstallSet& set);

// Removes options.Installation, keeping save.dat unless options.DeleteSave.
// Failed (after an error report) when the directory may not be removed.
RunOutcome RunUninstall(const TTarnInstallSet& set, const RunOptions& options, TFileOperation& fileOperation, RunHost& host);

} // namespace tarn
