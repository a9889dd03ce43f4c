// The JSON that people write for the tools and that the tools write: what the
// reader refuses, the numbers it takes as integers, and CP932 bytes as text
// or hex.
#include <random>

#include "base/codepage.h"
#include "common/tool.h"
#include "common/tool_json.h"
#include "support/test_support.h"

using namespace tarn;
using namespace tarn::tools;

namespace {

std::string ParseFailure(const std::string& text)
{
    try {
        ParseJson(text);
    } catch (const JsonError& e) {
        return e.what();
    }
    return "(read without an error)";
}

TEST(ToolJson, RefusesMalformedTextSayingWhatIsWrong)
{
    struct Case {
        std::string text, message;
    } cases[] = {
        { "", "unexpected end of input" },
        { "{\"a\": 1,}", "line 1, column 9" },
        { "{\"a\": 1}\n{}", "line 2, column 1" },
        { "[1, 2", "unexpected end of input" },
        { "{'a': 1}", "invalid literal" },
        { "// a note\n{}", "invalid literal" },
        { "[NaN]", "invalid literal" },
        { "[01]", "syntax error" },
        { "[1e400]", "number overflow parsing '1e400'" },
        { "[\"\\ud800\"]", "surrogate" },
        { "[\"a\xff\"]", "ill-formed UTF-8" },
        { "[\"tab\there\"]", "control character" },
        // Not JSON errors, but what no tool input may hold.
        { "{\"a\": 1, \"a\": 1}", "JSON: duplicate key \"a\"" },
        { "{\"o\": {\"k\": [], \"p\": {}, \"k\": 2}}", "duplicate key \"k\"" },
    };
    for (const Case& c : cases) {
        std::string message = ParseFailure(c.text);
        EXPECT_TRUE(message.starts_with("JSON: ")) << c.text << ": " << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << c.text << ": " << message;
    }
    // The same key in different objects is no duplicate.
    EXPECT_NO_THROW(ParseJson(R"({"a": {"k": 1}, "b": [{"k": 2}, {"k": 3}], "k": 4})"));
}

TEST(ToolJson, NestingIsBoundedWithoutExhaustingTheStack)
{
    auto nested = [](size_t levels, const char* open, const char* close) {
        std::string text;
        for (size_t i = 0; i < levels; ++i)
            text += open;
        text += "1";
        for (size_t i = 0; i < levels; ++i)
            text += close;
        return text;
    };
    for (auto [open, close] : { std::pair { "[", "]" }, std::pair { "{\"a\":", "}" } }) {
        SCOPED_TRACE(open);
        Json deepest = ParseJson(nested(kMaxJsonDepth, open, close));
        EXPECT_EQ(ParseJson(DumpJson(deepest)), deepest);
        EXPECT_NE(ParseFailure(nested(kMaxJsonDepth + 1, open, close)).find("nested deeper than 256 levels"), std::string::npos);
        // Far beyond any stack: refused at the limit, before anything is built.
        std::string unclosed;
        for (int i = 0; i < 1000000; ++i)
            unclosed += open;
        EXPECT_NE(ParseFailure(unclosed).find("nested deeper"), std::string::npos);
    }
}

TEST(ToolJson, IntegersAreTakenExactlyOrNotAtAll)
{
    struct Case {
        const char* text;
        bool integer;
        int64_t value;
    } cases[] = {
        { "0", true, 0 },
        { "-0", true, 0 },
        { "9223372036854775807", true, INT64_MAX },
        { "-9223372036854775808", true, INT64_MIN },
        { "9223372036854775808", false, 0 },
        { "18446744073709551616", false, 0 },
        { "2.0", true, 2 },
        { "1e3", true, 1000 },
        { "-4E0", true, -4 },
        { "2.5", false, 0 },
        { "8999999999999998.0", true, 8999999999999998 },
        { "9e15", false, 0 }, // beyond this a double stands for more than one integer
        { "true", false, 0 },
        { "\"5\"", false, 0 },
        { "null", false, 0 },
        { "[5]", false, 0 },
    };
    for (const Case& c : cases) {
        int64_t value = -77;
        EXPECT_EQ(JsonInteger(ParseJson(c.text), value), c.integer) << c.text;
        if (c.integer) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(ToolJson, CpTextRoundTripsEveryByteString)
{
    std::vector<std::string> samples = { "",     "\x83\x5c", "\x81",         "a\x81",
                                         "\x82\xa0\x82\xa2", "\x80",     "\xa0", "\xfd\xfe\xff", std::string("\0x", 2) };
    for (int a = 0; a < 256; ++a) {
        samples.push_back(std::string(1, static_cast<char>(a)));
        if (IsLeadByte(static_cast<unsigned char>(a)))
            for (int b = 0; b < 256; ++b)
                samples.push_back(std::string { static_cast<char>(a), static_cast<char>(b) });
    }
    std::mt19937 random(20240611);
    for (int i = 0; i < 2000; ++i) {
        std::string s(random() % 12, '\0');
        for (char& c : s)
            c = static_cast<char>(random());
        samples.push_back(s);
    }
    size_t asText = 0;
    for (const std::string& bytes : samples) {
        Json written = CpText(bytes);
        // Text exactly when the bytes come back from it; else lower-case hex.
        if (written.is_string()) {
            ++asText;
            EXPECT_TRUE(RoundTripsCp932(bytes)) << test::ToHex(bytes);
        } else {
            ASSERT_TRUE(written.is_object()) << test::ToHex(bytes);
            EXPECT_EQ(DumpJson(written), "{\"hex\":\"" + HexOf(bytes) + "\"}");
            EXPECT_FALSE(RoundTripsCp932(bytes)) << test::ToHex(bytes);
        }
        EXPECT_EQ(CpTextFrom(ParseJson(DumpJson(written, 2)), "Title"), bytes) << test::ToHex(bytes);
    }
    // Both forms occur; a backslash as a second byte is text.
    EXPECT_GT(asText, 1000u);
    EXPECT_LT(asText, samples.size() - 1000);
    EXPECT_TRUE(CpText("\x83\x5c").is_string());
    EXPECT_EQ(CpTextFrom(Json { { "hex", "835C" } }, "Title"), "\x83\x5c");
}

TEST(ToolJson, CpTextFromRefusesOtherShapes)
{
    for (const char* text : { "5", "null", "[]", "[\"41\"]", "{}", "{\"hex\": 41}", "{\"hex\": \"41\", \"text\": \"A\"}", "{\"HEX\": \"41\"}",
                              "{\"hex\": \"4\"}", "{\"hex\": \"zz\"}", "\"\xF0\x9F\x98\x80\"" }) {
        try {
            CpTextFrom(ParseJson(text), "GameExe");
            ADD_FAILURE() << text << " was taken";
        } catch (const ToolError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("GameExe: ")) << text << ": " << e.what();
        }
    }
}

TEST(ToolJson, OutputIsUtf8EvenOfBytesThatAreNot)
{
    Json value = { { "name", std::string("a\xff") }, { "list", { 1, -2, 3.5 } } };
    std::string text = DumpJson(value);
    EXPECT_EQ(text, "{\"name\":\"a\xEF\xBF\xBD\",\"list\":[1,-2,3.5]}");
    EXPECT_EQ(DumpJson(ParseJson(text), 2), "{\n  \"name\": \"a\xEF\xBF\xBD\",\n  \"list\": [\n    1,\n    -2,\n    3.5\n  ]\n}");
}

} // namespace
