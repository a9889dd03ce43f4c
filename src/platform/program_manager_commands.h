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

// Whether a group is found by a mark of its own rather than by a folder
// named after its title (POSIX: any title names only its own group).
bool GroupsFoundByTheirMark();

// ShowGroup's title: everything but a trailing ",n".
AnsiString WithoutShowCommand(const AnsiString& inner);

} // namespace tarn::platform
