// Lines of standard input, cut from what the system's reader delivers.
#include "platform/platform.h"

namespace tarn::platform {

namespace detail {
// One chunk of standard input, waiting up to timeoutMs (< 0: as long as it
// takes). Timeout when nothing came in time, End at the end of the input.
InputResult ReadStdinChunk(std::string& chunk, int timeoutMs);
// What a program that handed this process its terminal had read ahead
// (ReplaceProcess), once; "" after the first call.
std::string TakeCarriedInput();
} // namespace detail

namespace {

std::string g_pending;
bool g_ended = false;
bool g_carriedTaken = false;

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
    if (!g_carriedTaken) {
        g_carriedTaken = true;
        g_pending = detail::TakeCarriedInput() + g_pending;
    }
    for (;;) {
        if (TakeLine(line))
            return InputResult::Line;
        if (g_ended) {
            if (g_pending.empty())
                return InputResult::End;
            line.swap(g_pending); // a last line without its line end
            g_pending.clear();
            return InputResult::Line;
        }
        std::string chunk;
        switch (detail::ReadStdinChunk(chunk, timeoutMs)) {
        case InputResult::Timeout:
            return InputResult::Timeout;
        case InputResult::End:
            g_ended = true;
            break;
        case InputResult::Line:
            g_pending += chunk;
            break;
        }
    }
}

std::string TakePendingInput()
{
    std::string pending;
    pending.swap(g_pending);
    return pending;
}

} // namespace tarn::platform
