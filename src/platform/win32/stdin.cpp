// Line input from standard input with a time limit on Windows: pipes are
// peeked, files are always ready, consoles are waited on.
#include "platform/win32/win32.h"

#include "platform/platform.h"

namespace tarn::platform {

namespace {
std::string g_pending;
bool g_ended = false;

bool TakeLine(std::string& line)
{
    size_t nl = g_pending.find('\n');
    if (nl == std::string::npos)
        return false;
    line = g_pending.substr(0, nl);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    g_pending.erase(0, nl + 1);
    return true;
}

// True when a read would not block (or the input has ended).
bool Ready(HANDLE in, int timeoutMs)
{
    DWORD type = GetFileType(in);
    DWORD start = GetTickCount();
    for (;;) {
        if (type == FILE_TYPE_PIPE) {
            DWORD available = 0;
            if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr) || available > 0)
                return true;
        } else if (type == FILE_TYPE_CHAR) {
            return WaitForSingleObject(in, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
        } else {
            return true;
        }
        if (timeoutMs >= 0 && GetTickCount() - start >= static_cast<DWORD>(timeoutMs))
            return false;
        Sleep(10);
    }
}
} // namespace

InputResult ReadStdinLine(std::string& line, int timeoutMs)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        if (TakeLine(line))
            return InputResult::Line;
        if (g_ended || in == nullptr || in == INVALID_HANDLE_VALUE) {
            if (g_pending.empty())
                return InputResult::End;
            line.swap(g_pending);
            g_pending.clear();
            return InputResult::Line;
        }
        if (!Ready(in, timeoutMs))
            return InputResult::Timeout;
        char buf[4096];
        DWORD n = 0;
        if (!ReadFile(in, buf, sizeof buf, &n, nullptr) || n == 0)
            g_ended = true;
        else
            g_pending.append(buf, n);
    }
}

} // namespace tarn::platform
