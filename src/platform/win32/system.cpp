// Temporary directory, own path, folders, deletion at reboot, sleep and the
// named mutex on Windows.
#include "platform/win32/win32.h"

#include <shlobj.h>

#include "base/error.h"
#include "base/path.h"
#include "platform/platform.h"

namespace tarn::platform {

AnsiString TempDirectory()
{
    wchar_t buf[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH + 1)
        return AnsiString();
    return AddBackslash(FromWide(buf, n));
}

AnsiString ModuleFileName()
{
    std::wstring buf(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    buf.resize(n);
    return FromWide(WithoutExtendedPrefix(buf));
}

AnsiString SpecialFolder(int csidl)
{
    wchar_t buf[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf)))
        throw EOSError(u8"特殊フォルダ %d を取得できません", { csidl });
    return FromWide(buf, wcslen(buf));
}

AnsiString WindowsDirectory()
{
    UINT size = GetWindowsDirectoryW(nullptr, 0);
    if (size > 0) {
        std::wstring buf(size, L'\0');
        UINT n = GetWindowsDirectoryW(buf.data(), size);
        if (n > 0 && n < size) {
            buf.resize(n);
            return FromWide(buf);
        }
    }
    return AnsiString("C:\\WINDOWS");
}

void ScheduleDeleteAtReboot(std::string_view path)
{
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    bool nt = !GetVersionExW(&info) || info.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
    if (nt) {
        MoveFileExW(SysPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    // Windows 95, 98 and Me: the "rename" section of wininit.ini.
    wchar_t shortPath[512];
    if (GetShortPathNameW(Wide(path).c_str(), shortPath, 512) == 0)
        return;
    std::wstring ini = Wide(AddBackslash(WindowsDirectory()) + "wininit.ini");
    WritePrivateProfileStringW(L"rename", L"NUL", shortPath, ini.c_str());
}

void SleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

struct NamedMutex::Impl {
    HANDLE handle = nullptr;
};

std::unique_ptr<NamedMutex> NamedMutex::Acquire(std::string_view name)
{
    // The kernel object namespace reserves the backslash; with one in the name
    // creation would fail at every start.
    std::wstring wname = Wide(name);
    for (wchar_t& c : wname)
        if (c == L'\\')
            c = L'/';
    HANDLE existing = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, wname.c_str());
    if (existing) {
        CloseHandle(existing);
        return nullptr;
    }
    HANDLE h = CreateMutexW(nullptr, FALSE, wname.c_str());
    if (!h)
        return nullptr;
    std::unique_ptr<NamedMutex> m(new NamedMutex);
    m->impl_ = std::make_unique<Impl>();
    m->impl_->handle = h;
    return m;
}

void NamedMutex::ListenForShowRequests(std::function<void()>) { }

namespace {

struct FrontSearch {
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK FindHolderWindow(HWND hwnd, LPARAM param)
{
    auto& search = *reinterpret_cast<FrontSearch*>(param);
    wchar_t cls[32] = {};
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() || !IsWindowVisible(hwnd) || !GetClassNameW(hwnd, cls, 32) || std::wstring(cls) != L"TarnForm")
        return TRUE;
    int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), n + 1)));
    // The launcher bears the title; the installer's backdrop the title and what it does.
    if (text.compare(0, search.title.size(), search.title) != 0)
        return TRUE;
    search.found = hwnd;
    return FALSE;
}

} // namespace

bool NamedMutex::AskHolderToShow(std::string_view, std::string_view title)
{
    FrontSearch search{ Wide(title) };
    if (search.title.empty())
        return false;
    EnumWindows(FindHolderWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;
    // What the holder shows in front of that window: the wizard over its backdrop.
    HWND front = GetLastActivePopup(search.found);
    if (IsIconic(search.found))
        ShowWindow(search.found, SW_RESTORE);
    SetForegroundWindow(front ? front : search.found);
    return true;
}

NamedMutex::~NamedMutex()
{
    if (impl_ && impl_->handle) {
        ReleaseMutex(impl_->handle);
        CloseHandle(impl_->handle);
    }
}

} // namespace tarn::platform
