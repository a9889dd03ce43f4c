// Line input from standard input with a time limit (poll), for the console
// window backend: it reads a person's or a script's answers while long runs go on.
#include <poll.h>
#include <unistd.h>

#include <cerrno>

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
} // namespace

InputResult ReadStdinLine(std::string& line, int timeoutMs)
{
    for (;;) {
        if (TakeLine(line))
            return InputResult::Line;
        if (g_ended) {
            if (g_pending.empty())
                return InputResult::End;
            line.swap(g_pending);
            g_pending.clear();
            return InputResult::Line;
        }
        struct pollfd p = { 0, POLLIN, 0 };
        int rc = ::poll(&p, 1, timeoutMs);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc == 0)
            return InputResult::Timeout;
        char buf[4096];
        ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            g_ended = true;
        else
            g_pending.append(buf, static_cast<size_t>(n));
    }
}

} // namespace tarn::platform
