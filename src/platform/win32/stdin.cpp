// Standard input on Windows. Its readers take UTF-8: a console is read as
// UTF-16 (ReadConsoleW) and converted, so that Japanese typed in a console
// arrives whole under any code page; a pipe or a file is read as the bytes
// it holds. Pipes are peeked, files are always ready, a console is ready when
// a whole line has been typed.
#include "platform/win32/win32.h"

#include <iterator>
#include <vector>

#include "base/codepage.h"
#include "platform/platform.h"

namespace tarn::platform {

namespace {

bool IsConsole(HANDLE in)
{
    DWORD mode;
    return GetConsoleMode(in, &mode) != 0;
}

// A high surrogate at the end of one console read belongs to the next.
std::u16string g_consoleCarry;

// One console read as UTF-8; false at the end of the input (Ctrl+Z at the
// start of a line, or a console that can no longer be read).
bool ReadConsoleUtf8(HANDLE in, std::string& utf8)
{
    wchar_t buf[1024];
    DWORD n = 0;
    if (!ReadConsoleW(in, buf, static_cast<DWORD>(std::size(buf)), &n, nullptr) || n == 0)
        return false;
    std::u16string text = g_consoleCarry + std::u16string(reinterpret_cast<const char16_t*>(buf), n);
    g_consoleCarry.clear();
    if (!text.empty() && text[0] == 0x1A)
        return false;
    if (text.back() >= 0xD800 && text.back() <= 0xDBFF) {
        g_consoleCarry = text.substr(text.size() - 1);
        text.pop_back();
    }
    utf8 = Utf16ToUtf8(text);
    return true;
}

// Whether the console holds a finished line: in line mode ReadConsoleW waits
// for the Enter key, so nothing is read before there is one.
bool ConsoleLineWaiting(HANDLE in)
{
    DWORD count = 0;
    if (!GetNumberOfConsoleInputEvents(in, &count) || count == 0)
        return false;
    std::vector<INPUT_RECORD> records(count);
    DWORD got = 0;
    if (!PeekConsoleInputW(in, records.data(), count, &got))
        return true; // let the read tell
    for (DWORD i = 0; i < got; ++i) {
        const INPUT_RECORD& r = records[i];
        if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown &&
            (r.Event.KeyEvent.wVirtualKeyCode == VK_RETURN || r.Event.KeyEvent.uChar.UnicodeChar == L'\r' ||
             r.Event.KeyEvent.uChar.UnicodeChar == 0x1A))
            return true;
    }
    return false;
}

// True when a read would not block (or the input has ended).
bool Ready(HANDLE in, int timeoutMs)
{
    DWORD type = GetFileType(in);
    bool console = type == FILE_TYPE_CHAR && IsConsole(in);
    DWORD start = GetTickCount();
    for (;;) {
        if (type == FILE_TYPE_PIPE) {
            DWORD available = 0;
            if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr) || available > 0)
                return true;
        } else if (console) {
            if (ConsoleLineWaiting(in))
                return true;
        } else {
            return true; // a file, or a device such as NUL
        }
        if (timeoutMs >= 0 && GetTickCount() - start >= static_cast<DWORD>(timeoutMs))
            return false;
        Sleep(10);
    }
}

} // namespace

namespace detail {

InputResult ReadStdinChunk(std::string& chunk, int timeoutMs)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE)
        return InputResult::End;
    if (!Ready(in, timeoutMs))
        return InputResult::Timeout;
    if (IsConsole(in)) {
        chunk.clear();
        return ReadConsoleUtf8(in, chunk) ? InputResult::Line : InputResult::End;
    }
    char buf[4096];
    DWORD n = 0;
    if (!ReadFile(in, buf, sizeof buf, &n, nullptr) || n == 0)
        return InputResult::End;
    chunk.assign(buf, n);
    return InputResult::Line;
}

// Windows hands nothing over (ReplaceProcess): nothing is carried.
std::string TakeCarriedInput() { return std::string(); }

} // namespace detail

bool ReadStdin(std::string& bytes, size_t limit)
{
    bytes.clear();
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    if (h == INVALID_HANDLE_VALUE || h == nullptr)
        return true;
    if (IsConsole(h)) {
        std::string piece;
        while (ReadConsoleUtf8(h, piece)) {
            if (piece.size() > limit - bytes.size())
                return false;
            bytes += piece;
        }
        return true;
    }
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buf, sizeof buf, &got, nullptr))
            return GetLastError() == ERROR_BROKEN_PIPE; // the writer closed the pipe: the end
        if (got == 0)
            return true;
        if (got > limit - bytes.size())
            return false;
        bytes.append(buf, got);
    }
}

} // namespace tarn::platform
