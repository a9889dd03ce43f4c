#include "common/tool_json.h"

#include <cmath>
#include <unordered_set>
#include <vector>

#include "base/codepage.h"
#include "common/tool.h"

namespace tarn::tools {

namespace {

// No object the tools read has more than a few dozen keys, so more than this
// is a mistake anyway; refusing it early keeps a hostile file from making the
// ordered objects (a linear search per key) quadratic to build.
constexpr size_t kMaxKeys = 4096;

// nlohmann's messages start with "[json.exception.parse_error.101] "; the
// rest says what and where. The text quoted from the input need not be UTF-8.
std::string MessageOf(const nlohmann::json::exception& e)
{
    std::string_view what = e.what();
    if (size_t close = what.find("] "); what.starts_with("[json.exception.") && close != std::string_view::npos)
        what.remove_prefix(close + 2);
    return "JSON: " + Utf16ToUtf8(Utf8ToUtf16(what));
}

} // namespace

Json ParseJson(std::string_view text)
{
    // The keys of each open object (arrays have none), innermost last.
    std::vector<std::unordered_set<std::string>> open;
    auto check = [&open](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            if (open.size() >= kMaxJsonDepth)
                throw JsonError("JSON: nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
            open.emplace_back();
            break;
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end: open.pop_back(); break;
        case Json::parse_event_t::key: {
            std::unordered_set<std::string>& keys = open.back();
            if (keys.size() >= kMaxKeys)
                throw JsonError("JSON: more than " + std::to_string(kMaxKeys) + " keys in one object");
            const std::string& key = parsed.get_ref<const std::string&>();
            if (!keys.insert(key).second)
                throw JsonError("JSON: duplicate key \"" + Utf16ToUtf8(Utf8ToUtf16(key)) + "\"");
            break;
        }
        case Json::parse_event_t::value: break;
        }
        return true;
    };
    try {
        return Json::parse(text.begin(), text.end(), check);
    } catch (const nlohmann::json::exception& e) {
        throw JsonError(MessageOf(e));
    }
}

std::string DumpJson(const Json& value, int indent)
{
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

bool JsonInteger(const Json& value, int64_t& out)
{
    if (value.is_number_unsigned()) {
        uint64_t u = value.get<uint64_t>();
        if (u > static_cast<uint64_t>(INT64_MAX))
            return false;
        out = static_cast<int64_t>(u);
        return true;
    }
    if (value.is_number_integer()) {
        out = value.get<int64_t>();
        return true;
    }
    if (value.is_number_float()) {
        // Beyond 2^53 a double no longer says which integer was meant.
        double d = value.get<double>();
        if (std::floor(d) != d || !(std::fabs(d) < 9.0e15))
            return false;
        out = static_cast<int64_t>(d);
        return true;
    }
    return false;
}

const Json* JsonMember(const Json& value, const std::string& key)
{
    if (!value.is_object())
        return nullptr;
    auto it = value.find(key);
    return it == value.end() ? nullptr : &*it;
}

Json CpText(const AnsiString& cp932)
{
    std::string utf8;
    if (RoundTripsCp932(cp932) && TryCp932ToUtf8(cp932, utf8))
        return Json(utf8);
    return Json { { "hex", HexOf(cp932) } };
}

AnsiString CpTextFrom(const Json& value, const std::string& what)
{
    if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        AnsiString out;
        if (!TryUtf8ToCp932(text, out))
            throw ToolError(what + ": text that CP932 cannot hold: " + text);
        return out;
    }
    const Json* hex = JsonMember(value, "hex");
    if (hex && value.size() == 1 && hex->is_string())
        return BytesOfHex(hex->get_ref<const std::string&>(), what);
    throw ToolError(what + ": expected text or {\"hex\": ...}");
}

} // namespace tarn::tools
