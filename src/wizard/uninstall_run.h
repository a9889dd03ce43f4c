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

// The save data directly in dir: the name of the file called save.dat in
// any letter case; empty when there is none. A folder that cannot be read
// counts as holding save.dat (so that nobody deletes it unasked).
AnsiString SaveDataIn(const AnsiString& dir);

// Without a record of the installation, the names the deletion gets: S
// itself, or every entry directly inside S but the first one named save.dat
// (in any letter case).
StringList UninstallDeletionList(const AnsiString& dir, bool deleteSave);

// The installation the registry records for the game a disc describes,
// when it may be removed (MayRemoveInstallation); none otherwise.
std::optional<AnsiString> RecordedInstallation(const TTarnInstallSet& set);

// Removes options.Installation (a link: the folder it names), keeping
// save.dat unless options.DeleteSave: with the installation's record, what
// the record lists and the folders the install made once they are empty,
// and nothing else (what stays is told to the host); without one, the whole
// folder or all of it but save.dat. Then the program group and the registry
// value, each only when it is this installation's. Failed (after an error
// report) when the directory may not be removed, or when some of it could
// not be moved (the group and the registry value then stay too). A rerun
// after a kill finishes an uninstall the record says is under way.
RunOutcome RunUninstall(const TTarnInstallSet& set, const RunOptions& options, TFileOperation& fileOperation, RunHost& host);

} // namespace tarn
