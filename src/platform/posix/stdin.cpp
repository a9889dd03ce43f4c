// Standard input with a time limit (poll), for the console window backend: it
// reads a person's or a script's answers while long runs go on.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace tarn::platform::detail {

InputResult ReadStdinChunk(std::string& chunk, int timeoutMs)
{
    for (;;) {
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
            return InputResult::End;
        chunk.assign(buf, static_cast<size_t>(n));
        return InputResult::Line;
    }
}

std::string TakeCarriedInput()
{
    const char* carried = std::getenv(kCarriedInputVariable);
    std::string text = carried ? carried : "";
    ::unsetenv(kCarriedInputVariable);
    return text;
}

} // namespace tarn::platform::detail
