// Program paths and the console on Windows: paths are Windows paths already;
// only their encoding changes at the W functions.
#include "platform/win32/win32.h"

#include <shellapi.h>

#include "base/codepage.h"
#include "platform/platform.h"

namespace tarn::platform {

AnsiString PathFromHost(std::string_view hostUtf8)
{
    std::u16string w = Utf8ToUtf16(hostUtf8);
    for (char16_t& c : w)
        if (c == u'/')
            c = u'\\';
    return Utf16ToAnsi(w);
}

bool HostPath(std::string_view path, std::string& hostUtf8)
{
    hostUtf8 = Utf16ToUtf8(AnsiToUtf16(path));
    return true;
}

AnsiString ShownPath(std::string_view path) { return AnsiString(path); }

std::string DisplayPath(std::string_view path) { return Utf16ToUtf8(AnsiToUtf16(path)); }

std::vector<std::string> ArgumentsUtf8(int, char**)
{
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv)
        return args;
    for (int i = 1; i < count; ++i) {
        std::wstring a = argv[i];
        args.push_back(Utf16ToUtf8(std::u16string(a.begin(), a.end())));
    }
    LocalFree(argv);
    return args;
}

namespace {
void WriteAll(DWORD which, std::string_view text)
{
    HANDLE h = GetStdHandle(which);
    if (h == INVALID_HANDLE_VALUE || h == nullptr)
        return;
    DWORD mode;
    if (GetConsoleMode(h, &mode)) {
        std::u16string w = Utf8ToUtf16(text);
        DWORD written;
        WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
        return;
    }
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written == 0)
            return;
        text.remove_prefix(written);
    }
}
} // namespace

void WriteStdout(std::string_view utf8) { WriteAll(STD_OUTPUT_HANDLE, utf8); }
void WriteStderr(std::string_view utf8) { WriteAll(STD_ERROR_HANDLE, utf8); }

bool StderrIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::string GetEnv(const char* name)
{
    std::wstring wname;
    for (const char* p = name; *p; ++p)
        wname += static_cast<wchar_t>(*p);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0)
        return std::string();
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(wname.c_str(), value.data(), n);
    value.resize(n);
    return Utf16ToUtf8(std::u16string(value.begin(), value.end()));
}

} // namespace tarn::platform
