#include "platform/program_manager_commands.h"

namespace tarn::platform {

std::optional<ProgramManagerCommand> ParseProgramManagerCommand(std::string_view text)
{
    // '[', '(', ')' and '"' are below 0x40 or checked at the first byte, so no
    // second byte of a CP932 character is taken for one.
    if (text.size() < 4 || text.front() != '[' || text.substr(text.size() - 2) != ")]")
        return std::nullopt;
    size_t open = text.find('(');
    if (open == std::string_view::npos || open > text.size() - 2)
        return std::nullopt;
    return ProgramManagerCommand{ AnsiString(text.substr(1, open - 1)), AnsiString(text.substr(open + 1, text.size() - 2 - open - 1)) };
}

StringList SplitProgramManagerArguments(std::string_view inner)
{
    StringList args;
    size_t i = 0;
    while (i <= inner.size()) {
        if (i < inner.size() && inner[i] == '"') {
            size_t close = i + 1;
            while (close < inner.size() && !(inner[close] == '"' && (close + 1 == inner.size() || inner[close + 1] == ',')))
                ++close;
            args.emplace_back(inner.substr(i + 1, close - i - 1));
            i = close + 2;
        } else {
            size_t comma = inner.find(',', i);
            if (comma == std::string_view::npos)
                comma = inner.size();
            args.emplace_back(inner.substr(i, comma - i));
            i = comma + 1;
        }
    }
    return args;
}

AnsiString WithoutShowCommand(const AnsiString& inner)
{
    size_t comma = inner.rfind(',');
    if (comma == AnsiString::npos || comma + 1 == inner.size())
        return inner;
    for (size_t i = comma + 1; i < inner.size(); ++i)
        if (inner[i] < '0' || inner[i] > '9')
            return inner;
    return inner.substr(0, comma);
}

} // namespace tarn::platform
