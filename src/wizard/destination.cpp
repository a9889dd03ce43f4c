#include "wizard/destination.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"

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

ProposedDestination ProposeDestination(const AnsiString& installPath, const AnsiString& defaultDir,
                                       const std::optional<AnsiString>& programFiles, const AnsiString& windowsDir)
{
    ProposedDestination d;
    AnsiString p = installPath;
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

AnsiString DestinationFromText(const AnsiString& editText) { return platform::PathFromTyped(AnsiToHostUtf8(editText)); }

AnsiString DestinationForBrowsed(const AnsiString& directory, const AnsiString& dirSuffix)
{
    return dirSuffix.empty() ? directory : AddBackslash(directory) + dirSuffix;
}

} // namespace tarn
