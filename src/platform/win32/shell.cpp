// The shell's "open" on Windows.
#include "platform/win32/win32.h"

#include <shellapi.h>

#include <objbase.h>

#include "base/path.h"
#include "platform/platform.h"

namespace tarn::platform {

void InitializeProcess() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

bool DiscProgramsRunNatively() { return true; }

StringList ProgramArguments(int, char**)
{
    // Split byte by byte as the program always has: quotes open and close,
    // a backslash is an ordinary character ("D:\" stays D:\).
    const wchar_t* line = GetCommandLineW();
    StringList all = SplitCommandLine(FromWide(line, wcslen(line)));
    if (!all.empty())
        all.erase(all.begin());
    return all;
}

bool ShellOpen(std::string_view file, std::string_view params)
{
    std::wstring f = Wide(file), p = Wide(params);
    HINSTANCE h = ShellExecuteW(nullptr, L"open", f.c_str(), p.empty() ? nullptr : p.c_str(), nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(h) > 32;
}

} // namespace tarn::platform
