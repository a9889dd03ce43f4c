// JSON in the tools: the --json outputs and the files people write
// (descriptions, manifests). Objects keep their keys in the order written, so
// that an output lists fields as the file stores them. Text is UTF-8.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/text.h"

namespace tarn::tools {

using Json = nlohmann::ordered_json;

// Malformed JSON; the message starts with "JSON: " and says where.
class JsonError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Nesting deeper than this is refused: nothing the tools read comes near it,
// and what is built from the text is walked recursively later (dump, copies).
constexpr size_t kMaxJsonDepth = 256;

// Reads a whole document. Besides what JSON itself forbids, a key given twice
// in one object and nesting beyond kMaxJsonDepth raise JsonError.
Json ParseJson(std::string_view text);

// Compact, or indented by indent spaces per level when indent >= 0. Bytes
// that are no UTF-8 come out as U+FFFD instead of failing the output.
std::string DumpJson(const Json& value, int indent = -1);

// The value of a number that is an integer (also 1.0 or 1e3) within int64_t;
// false for anything else.
bool JsonInteger(const Json& value, int64_t& out);

// The member key of an object, or nullptr (also when value is no object).
const Json* JsonMember(const Json& value, const std::string& key);

// CP932 bytes in JSON: text when the bytes come back unchanged through
// CP932 -> UTF-8 -> CP932, else {"hex": "<lower-case hex>"}.
Json CpText(const AnsiString& cp932);
// The reverse: text must be representable in CP932; {"hex": ...} in either
// case. Raises ToolError naming what.
AnsiString CpTextFrom(const Json& value, const std::string& what);

} // namespace tarn::tools
