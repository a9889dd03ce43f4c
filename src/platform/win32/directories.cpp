// Drives, the current directory, short paths and the drives where media may
// lie, on Windows.
#include "platform/win32/win32.h"

#include <map>
#include <mutex>

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

AnsiString ShortPath(std::string_view path)
{
    std::wstring w = Wide(path);
    wchar_t buf[512];
    DWORD n = GetShortPathNameW(w.c_str(), buf, 512);
    if (n == 0 || n >= 512)
        return AnsiString(path);
    return FromWide(buf, n);
}

StringList MediaRoots()
{
    StringList roots;
    for (char c : DriveLetters())
        roots.push_back(std::string(1, c) + ":\\");
    return roots;
}

} // namespace tarn::platform
