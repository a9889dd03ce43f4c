// The shell's "open" on Windows.
#include "platform/win32/win32.h"

#include <shellapi.h>

#include <objbase.h>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"

namespace tarn::platform {

void InitializeProcess()
{
    // The shell's functions (ShellExecute, SHFileOperation, shell links)
    // want a single-threaded apartment on the thread that calls them, for
    // as long as the program runs.
    static ComScope* process = new ComScope();
    (void)process;
    // Looking at every drive letter for the next disc must not stop at a
    // system box about an empty drive: an empty drive is simply no disc.
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

bool DiscProgramsRunNatively() { return true; }

std::string ProgramOnPath(std::string_view name)
{
    std::wstring wide = Wide(HostUtf8ToAnsi(std::string(name)));
    wchar_t found[MAX_PATH];
    DWORD n = SearchPathW(nullptr, wide.c_str(), L".exe", MAX_PATH, found, nullptr);
    return n > 0 && n < MAX_PATH ? AnsiToHostUtf8(FromWide(found, n)) : std::string();
}

bool TrashAccepts(std::string_view) { return true; }

std::vector<std::string> ProgramArguments(int, char**)
{
    // Split byte by byte as the program always has: quotes open and close,
    // a backslash is an ordinary character ("D:\" stays D:\). UTF-8 holds
    // no byte below 0x80 inside a character, so the rule reads it as it reads CP932.
    const wchar_t* line = GetCommandLineW();
    std::u16string wide(reinterpret_cast<const char16_t*>(line), wcslen(line));
    std::vector<std::string> all = SplitCommandLine(Utf16ToUtf8(wide));
    if (!all.empty())
        all.erase(all.begin());
    return all;
}

bool ShellOpen(std::string_view file, std::string_view params)
{
    // Start-up passes the game quoted, as a command line would hold it; the
    // shell takes a file name.
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
        file = file.substr(1, file.size() - 2);
    std::wstring f = Wide(file), p = Wide(params);
    HINSTANCE h = ShellExecuteW(nullptr, L"open", f.c_str(), p.empty() ? nullptr : p.c_str(), nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(h) > 32;
}

bool ReplaceProcess(std::string_view, std::string_view, const std::string&)
{
    // The running program must end so that its file can go (the
    // installation's own copy): the shell starts the other one instead.
    return false;
}

} // namespace tarn::platform
