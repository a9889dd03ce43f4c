// Drives, the current directory, short paths and the drives where media may
// lie, on Windows.
#include "platform/win32/win32.h"

#include <shlobj.h>

#include <map>
#include <mutex>

#include "base/error.h"
#include "base/path.h"
#include "platform/platform.h"

namespace tarn::platform {

namespace {

std::mutex g_dirLock;
std::map<char, AnsiString> g_driveDirs; // each drive's last current directory

AnsiString WithoutTrailingBackslash(AnsiString dir)
{
    while (dir.size() > 3 && IsPathSeparator(dir, static_cast<int>(dir.size())))
        dir.pop_back();
    return dir;
}

// The long, full, upper-cased form, without a trailing backslash.
std::wstring Comparable(std::string_view path)
{
    std::wstring w = Wide(path);
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n) {
        std::wstring full(n, L'\0');
        n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
        full.resize(n);
        w = full;
    }
    std::wstring extended = SysPathWide(w);
    DWORD l = GetLongPathNameW(extended.c_str(), nullptr, 0);
    if (l) {
        std::wstring longer(l, L'\0');
        l = GetLongPathNameW(extended.c_str(), longer.data(), l);
        longer.resize(l);
        if (l)
            w = WithoutExtendedPrefix(longer);
    }
    while (w.size() > 3 && w.back() == L'\\')
        w.pop_back();
    CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
    return w;
}

} // namespace

std::string DriveLetters()
{
    DWORD mask = GetLogicalDrives();
    std::string letters;
    for (int i = 0; i < 26; ++i)
        if (mask & (1u << i))
            letters += static_cast<char>('A' + i);
    return letters;
}

AnsiString CurrentDirectory()
{
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring buf(n + 1, L'\0');
    n = GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
    buf.resize(n);
    return WithoutTrailingBackslash(FromWide(buf));
}

bool ChangeDirectory(std::string_view path)
{
    std::wstring w = Wide(path);
    if (!SetCurrentDirectoryW(w.c_str()))
        return false;
    AnsiString now = CurrentDirectory();
    std::lock_guard<std::mutex> guard(g_dirLock);
    if (now.size() >= 2 && now[1] == ':')
        g_driveDirs[static_cast<char>(now[0] & ~0x20)] = now;
    return true;
}

AnsiString DriveCurrentDirectory(char letter)
{
    letter = static_cast<char>(letter & ~0x20);
    {
        std::lock_guard<std::mutex> guard(g_dirLock);
        auto it = g_driveDirs.find(letter);
        if (it != g_driveDirs.end())
            return it->second;
    }
    AnsiString current = CurrentDirectory();
    if (current.size() >= 2 && (current[0] & ~0x20) == letter)
        return current;
    return std::string(1, letter) + ":\\";
}

AnsiString PathFromTyped(std::string_view typed)
{
    AnsiString path = PathFromHost(typed);
    if (path.empty())
        return path;
    bool drive = path.size() >= 2 && path[1] == ':';
    bool network = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
    if (!drive && !network) {
        AnsiString current = CurrentDirectory();
        // "\x" is below the current drive's root.
        path = path[0] == '\\' ? current.substr(0, 2) + path : AddBackslash(current) + path;
    }
    return NormalizedPath(path);
}

AnsiString PathFromShown(std::string_view shown) { return PathFromTyped(AnsiToHostUtf8(shown)); }

AnsiString ProgramDataDirectory()
{
    wchar_t buf[MAX_PATH];
    // CSIDL_LOCAL_APPDATA: the user's, and never roamed to another machine.
    if (FAILED(SHGetFolderPathW(nullptr, 0x001C, nullptr, SHGFP_TYPE_CURRENT, buf)))
        return AddBackslash(TempDirectory()) + "tarn-setup\\";
    return AddBackslash(FromWide(buf, wcslen(buf))) + "tarn-setup\\";
}

AnsiString ResolvedPath(std::string_view path) { return AnsiString(path); }

std::string DriveRootText(char letter) { return std::string(1, letter) + ":\\"; }

AnsiString ShortPath(std::string_view path)
{
    // The short form is asked for in 512 characters; a path without one, or
    // whose short form does not fit, stays as it is.
    std::wstring w = SysPath(path);
    wchar_t buf[512];
    DWORD n = GetShortPathNameW(w.c_str(), buf, 512);
    if (n == 0 || n >= 512)
        return AnsiString(path);
    std::wstring shortForm = WithoutExtendedPrefix(std::wstring(buf, n));
    if (shortForm.size() >= 512)
        return AnsiString(path);
    // Wine makes short names from a hash of the long ones, and two names of
    // a folder can get the same: such a short form leads elsewhere. It goes
    // into shortcuts and the registry, so it must name this very file.
    if (Comparable(FromWide(shortForm)) != Comparable(path))
        return AnsiString(path);
    return FromWide(shortForm);
}

StringList ProtectedDirectories()
{
    StringList dirs;
    for (char c : DriveLetters())
        dirs.push_back(std::string(1, c) + ":\\");
    dirs.push_back(WindowsDirectory());
    for (int csidl : { 0x28 /* profile */, 0x26 /* Program Files */, 0x2A /* Program Files (x86) */ }) {
        try {
            dirs.push_back(SpecialFolder(csidl));
        } catch (const Exception&) {
        }
    }
    return dirs;
}


bool DirectoryContains(std::string_view outer, std::string_view inner)
{
    std::wstring o = Comparable(outer), i = Comparable(inner);
    if (o.empty() || i.empty())
        return false;
    if (o.back() == L'\\') // a root
        return i.compare(0, o.size(), o) == 0;
    return i == o || (i.size() > o.size() && i.compare(0, o.size(), o) == 0 && i[o.size()] == L'\\');
}

StringList OpticalDrives() { return {}; }

StringList BrowsePlaces() { return MediaRoots(); }

StringList MediaRoots()
{
    StringList roots;
    for (char c : DriveLetters())
        roots.push_back(std::string(1, c) + ":\\");
    return roots;
}

} // namespace tarn::platform
