// The destination the wizard proposes: from the registry's "InstallPath",
// else from the description's DefaultDir, with the folder name (DirSuffix)
// that browsing appends to whatever directory is chosen.
#pragma once

#include <optional>

#include "base/text.h"

namespace tarn {

struct ProposedDestination {
    AnsiString Path;      // without a trailing backslash
    AnsiString DirSuffix; // empty: the browsed directory itself is the destination
};

// installPath: the registry value (empty when there is none); programFiles:
// the Program Files folder, nullopt when the system cannot give it (the
// Windows drive's root stands in); windowsDir: the Windows directory.
ProposedDestination ProposeDestination(const AnsiString& installPath, const AnsiString& defaultDir,
                                       const std::optional<AnsiString>& programFiles, const AnsiString& windowsDir);
// The same with the system's folders.
ProposedDestination ProposeDestination(const AnsiString& installPath, const AnsiString& defaultDir);

// Whether a description's default folder climbs out of the folder it is
// given below (a ".." among its components): such a folder is proposed as
// none at all.
bool LeavesItsBase(const AnsiString& defaultDir);

// What an install into dir (absolute) would meet.
enum class DestinationCheck {
    Fine,      // new, empty, or this game's installation (or one that was begun)
    Protected, // is or holds a drive's root, the home, the Program Files folder, the Windows folder
    NotEmpty,  // holds something, and no installation of this game
};
DestinationCheck CheckDestination(const AnsiString& dir, const AnsiString& title);
// "%s にはインストールできません", and the question for a folder in use,
// naming the folder as the program shows paths.
AnsiString ProtectedDestinationText(const AnsiString& dir);
AnsiString NotEmptyDestinationQuestion(const AnsiString& dir);

// The nearest existing directory at or above path: parents are cut off one
// component at a time (keeping the backslash before it); "" when none is left.
AnsiString NearestExistingAncestor(AnsiString path);

// The destination as EditDir holds it (shown by platform::ShownPath, or
// typed: a host path or a drive path), as the absolute program path it
// names (platform::PathFromShown).
AnsiString DestinationFromText(const AnsiString& editText);

// What DirectoryChange writes into EditDir for a browsed directory.
AnsiString DestinationForBrowsed(const AnsiString& directory, const AnsiString& dirSuffix);

} // namespace tarn
