// Standard input with a time limit on Windows: pipes are peeked, files are
// always ready, consoles are waited on.
#include "platform/win32/win32.h"

#include "platform/platform.h"

namespace tarn::platform::detail {

namespace {

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

InputResult ReadStdinChunk(std::string& chunk, int timeoutMs)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE)
        return InputResult::End;
    if (!Ready(in, timeoutMs))
        return InputResult::Timeout;
    char buf[4096];
    DWORD n = 0;
    if (!ReadFile(in, buf, sizeof buf, &n, nullptr) || n == 0)
        return InputResult::End;
    chunk.assign(buf, n);
    return InputResult::Line;
}

} // namespace tarn::platform::detail
