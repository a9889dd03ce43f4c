// The uninstall run: removes the program group, sends the installation's
// files to the trash (keeping the save data when asked) and deletes the
// registry record.
#pragma once

#include "base/text.h"
#include "setup/install_set.h"
#include "wizard/file_operation.h"
#include "wizard/install_run.h"
#include "wizard/run_host.h"

namespace tarn {

struct UninstallChoices {
    AnsiString Directory;  // the installation (S)
    bool DeleteSave = true; // CheckDelSave hidden or checked: S goes whole
    bool Shortcuts = true;  // false: the program group is left alone
};

// Whether dir may be removed as the installation of title: it holds an
// install.dat with Installed = 1 and that title, and it neither is nor holds
// a drive's root, the home or profile folder, the Windows directory or the
// Program Files folder.
bool MayRemoveInstallation(const AnsiString& dir, const AnsiString& title);

// The names the deletion gets: S itself, or every entry directly inside S
// but the first one named save.dat (in any letter case).
StringList UninstallDeletionList(const AnsiString& dir, bool deleteSave);

RunOutcome RunUninstall(const TTarnInstallSet& set, const UninstallChoices& choices, TFileOperation& fileOperation, RunHost& host,
                        const RunEvents& events = {});

} // namespace tarn
