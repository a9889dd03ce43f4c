// Reading the program manager's command texts, "[Name(arguments)]" in CP932:
// one reader for every platform's program manager.
#pragma once

#include <optional>
#include <string_view>

#include "base/text.h"

namespace tarn::platform {

struct ProgramManagerCommand {
    AnsiString name;
    AnsiString inner; // between "(" and the final ")]"
};

// Nothing when the text is not one bracketed command.
std::optional<ProgramManagerCommand> ParseProgramManagerCommand(std::string_view text);

// Arguments split at the commas between them; a quoted argument ends at the
// quote that a comma or the end follows, so it may hold commas and quotes.
StringList SplitProgramManagerArguments(std::string_view inner);

// ShowGroup's title: everything but a trailing ",n".
AnsiString WithoutShowCommand(const AnsiString& inner);

} // namespace tarn::platform
