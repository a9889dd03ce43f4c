// Helpers shared by the Windows implementation files: extended-length paths
// and COM for one scope.
#include "platform/win32/win32.h"

#include <objbase.h>

namespace tarn::platform {

namespace {

// CreateDirectoryW leaves room for an 8.3 name below the directory: from
// here on the plain form may already fail.
constexpr size_t kExtendedFrom = MAX_PATH - 12;

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

bool IsAbsolute(const std::wstring& path)
{
    return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
           (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/'));
}

} // namespace

std::wstring SysPathWide(std::wstring path)
{
    if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\"))
        return path;
    // The extended form is taken as it stands, without the folding of "."
    // and ".." and of slashes that the plain form gets: the full path does it
    // first. A relative path may be short while its full form is not.
    if (path.size() < kExtendedFrom && IsAbsolute(path))
        return path;
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size())
        return path;
    full.resize(n);
    if (full.size() < kExtendedFrom)
        return full;
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return L"\\\\?\\" + full;
    if (StartsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return full;
}

std::wstring SysPath(std::string_view path) { return SysPathWide(Wide(path)); }

std::wstring WithoutExtendedPrefix(std::wstring path)
{
    if (StartsWith(path, L"\\\\?\\UNC\\"))
        return L"\\\\" + path.substr(8);
    if (StartsWith(path, L"\\\\?\\") && path.size() >= 6 && path[5] == L':')
        return path.substr(4);
    return path;
}

ComScope::ComScope()
{
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE: this thread had an apartment of that kind already, and the
    // call still counts; RPC_E_CHANGED_MODE: a multithreaded one, which
    // serves as well and is not ours to release.
    release_ = SUCCEEDED(hr);
    usable_ = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
}

ComScope::~ComScope()
{
    if (release_)
        CoUninitialize();
}

} // namespace tarn::platform
