#include "wizard/destination.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "wizard/manifest.h"

namespace tarn {

namespace {

constexpr char kMarker[] = "<ProgramFiles>";
constexpr size_t kMarkerLength = sizeof kMarker - 1; // 14

AnsiString WithoutLeadingBackslash(std::string_view s)
{
    if (!s.empty() && s.front() == '\\')
        s.remove_prefix(1);
    return AnsiString(s);
}

AnsiString TrimOneBackslash(std::string_view s) { return ExcludeTrailingBackslash(WithoutLeadingBackslash(s)); }

} // namespace

bool LeavesItsBase(const AnsiString& defaultDir)
{
    std::string_view dir = defaultDir;
    if (dir.starts_with(kMarker))
        dir.remove_prefix(kMarkerLength);
    AnsiString part;
    for (size_t i = 0; i <= dir.size(); i += i < dir.size() ? CharLengthAt(dir, i) : 1) {
        if (i == dir.size() || (CharLengthAt(dir, i) == 1 && (dir[i] == '\\' || dir[i] == '/'))) {
            if (part == "..")
                return true;
            part.clear();
            continue;
        }
        part.append(dir.substr(i, CharLengthAt(dir, i)));
    }
    return false;
}

ProposedDestination ProposeDestination(const AnsiString& installPath, const AnsiString& defaultDir,
                                       const std::optional<AnsiString>& programFiles, const AnsiString& windowsDir)
{
    ProposedDestination d;
    AnsiString p = installPath;
    if ((p.empty() || !platform::DirectoryExists(p)) && LeavesItsBase(defaultDir))
        return d; // nothing to propose: the person chooses
    if (p.empty() || !platform::DirectoryExists(p)) {
        std::string_view dir = defaultDir;
        char drive = windowsDir.empty() ? 'C' : windowsDir[0];
        if (dir.starts_with(kMarker) && programFiles) {
            d.DirSuffix = TrimOneBackslash(dir.substr(kMarkerLength));
            p = ExcludeTrailingBackslash(*programFiles) + "\\" + d.DirSuffix;
        } else if (dir.starts_with(kMarker)) {
            // Without a Program Files folder the Windows drive's root takes its place.
            d.DirSuffix = TrimOneBackslash(dir.substr(kMarkerLength));
            p = AnsiString(1, drive) + ":\\" + d.DirSuffix;
        } else {
            d.DirSuffix = WithoutLeadingBackslash(dir);
            p = AnsiString(1, drive) + ":\\" + d.DirSuffix;
            d.DirSuffix = TrimOneBackslash(d.DirSuffix);
        }
    }
    d.Path = ExcludeTrailingBackslash(p);
    if (platform::DirectoryExists(d.Path))
        d.DirSuffix.clear();
    return d;
}

ProposedDestination ProposeDestination(const AnsiString& installPath, const AnsiString& defaultDir)
{
    std::optional<AnsiString> programFiles;
    // Only the branch that needs it asks the system for its folder.
    if (std::string_view(defaultDir).starts_with(kMarker)) {
        try {
            programFiles = GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER);
        } catch (const Exception&) {
        }
    }
    return ProposeDestination(installPath, defaultDir, programFiles, platform::WindowsDirectory());
}

AnsiString NearestExistingAncestor(AnsiString path)
{
    while (!path.empty() && !platform::DirectoryExists(path)) {
        AnsiString cut = ExcludeTrailingBackslash(path);
        size_t sep = LastDelimiter("\\", cut);
        path = sep == std::string::npos ? AnsiString() : cut.substr(0, sep + 1);
    }
    return path;
}

AnsiString DestinationFromText(const AnsiString& editText) { return platform::PathFromShown(editText); }

DestinationCheck CheckDestination(const AnsiString& dir, const AnsiString& title)
{
    AnsiString d = ExcludeTrailingBackslash(dir);
    for (const AnsiString& protectedDir : platform::ProtectedDirectories())
        if (platform::DirectoryContains(AddBackslash(d), protectedDir))
            return DestinationCheck::Protected;
    if (!platform::DirectoryExists(d))
        return DestinationCheck::Fine;
    // The save data an uninstall kept is the game's own: an install over it
    // is the person coming back to the game.
    bool empty = true;
    for (const platform::DirEntry& e : SortedDirectory(d))
        empty = empty && (e.Name == "." || e.Name == ".." || (!(e.Attributes & faDirectory) && SameText(e.Name, "save.dat")));
    if (empty)
        return DestinationCheck::Fine;
    // This game's installation, or one that was begun there: taken up again.
    if (TInstallManifest::TitleOf(AddBackslash(d)) == title)
        return DestinationCheck::Fine;
    TTarnInstallSet there;
    try {
        there.LoadFromFile(AddBackslash(d) + "install.dat");
        if (there.Installed != 0 && there.Title == title)
            return DestinationCheck::Fine;
    } catch (const Exception&) {
    }
    return DestinationCheck::NotEmpty;
}

AnsiString ProtectedDestinationText(const AnsiString& dir)
{
    return Format(u8"%s にはインストールできません", { platform::ShownPath(ExcludeTrailingBackslash(dir)) });
}

AnsiString NotEmptyDestinationQuestion(const AnsiString& dir)
{
    return Format(u8"%s には他のファイルがあります。このフォルダにインストールしますか？",
                  { platform::ShownPath(ExcludeTrailingBackslash(dir)) });
}

AnsiString DestinationForBrowsed(const AnsiString& directory, const AnsiString& dirSuffix)
{
    return dirSuffix.empty() ? directory : AddBackslash(directory) + dirSuffix;
}

} // namespace tarn
