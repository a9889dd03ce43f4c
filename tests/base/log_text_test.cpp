// Text for logs and terminals: every expectation worked out byte by byte.
#include <random>

#include "base/codepage.h"
#include "base/log_text.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;

namespace {

struct Case {
    std::string in, out;
};

void ExpectAll(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(EscapeForLog(c.in), c.out) << test::ToHex(c.in);
}

TEST(EscapeForLog, OrdinaryTextIsItself)
{
    ExpectAll({ { "", "" },
                { "C:\\Games\\ゲーム\\", "C:\\Games\\ゲーム\\" },
                { "caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80" }, // é and U+1F600
                { "\xc2\xa0", "\xc2\xa0" }, // U+00A0, the first after the C1 controls
                { "\xe2\x80\xa7", "\xe2\x80\xa7" }, // U+2027, just below the line separator
                { "\xed\x9f\xbf", "\xed\x9f\xbf" }, // U+D7FF, just below the surrogates
                { "\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf" }, // U+10FFFF, the last
                { "\\X86 x \\y", "\\X86 x \\y" } });
}

TEST(EscapeForLog, ControlsAndLineBreaksAreEscapedByte)
{
    ExpectAll({ { "line\nforged", R"(line\x0aforged)" },
                { "\r\t", R"(\x0d\x09)" },
                { std::string("a\0b", 3), R"(a\x00b)" },
                { "\x1b[31mred", R"(\x1b[31mred)" },
                { "del\x7f", R"(del\x7f)" },
                { "\x1f ", R"(\x1f )" },
                // C1 controls (NEL among them) and the Unicode separators: their UTF-8 bytes.
                { "\xc2\x80", R"(\xc2\x80)" },
                { "\xc2\x85" "next", R"(\xc2\x85next)" },
                { "\xc2\x9f", R"(\xc2\x9f)" },
                { "\xe2\x80\xa8", R"(\xe2\x80\xa8)" },
                { "\xe2\x80\xa9", R"(\xe2\x80\xa9)" } });
}

TEST(EscapeForLog, BytesOutsideWellFormedUtf8AreEscapedOneByOne)
{
    ExpectAll({ { "\xff", R"(\xff)" },
                { "\x80" "a", R"(\x80a)" }, // a continuation byte alone
                { "\xe3\x81", R"(\xe3\x81)" }, // cut at the end
                { "\xe3\x81" "A", R"(\xe3\x81A)" }, // cut before a letter
                { "\xe3\x81\xe3\x81\x82", R"(\xe3\x81)" "\xe3\x81\x82" }, // a cut あ, then a whole one
                { "\xc0\xaf", R"(\xc0\xaf)" }, // '/' in two bytes
                { "\xe0\x80\xaf", R"(\xe0\x80\xaf)" }, // '/' in three
                { "\xf0\x8f\xbf\xbf", R"(\xf0\x8f\xbf\xbf)" }, // U+FFFF in four
                { "\xed\xa0\x80", R"(\xed\xa0\x80)" }, // a surrogate
                { "\xf4\x90\x80\x80", R"(\xf4\x90\x80\x80)" }, // above U+10FFFF
                { "\xf8\x88\x80\x80\x80", R"(\xf8\x88\x80\x80\x80)" } });
}

TEST(EscapeForLog, ABackslashIsDoubledOnlyBeforeABackslashOrAnX)
{
    ExpectAll({ { R"(C:\x86\)", R"(C:\\x86\)" },
                { R"(\\server\share)", R"(\\\server\share)" },
                { R"(a\\)", R"(a\\\)" },
                { R"(\)", R"(\)" },
                { "dir\\\n", R"(dir\\\x0a)" }, // the escape that follows starts with one
                { "dir\\\xff", R"(dir\\\xff)" },
                { R"(\\x41)", R"(\\\\x41)" },
                { R"(text \x41 as typed)", R"(text \\x41 as typed)" } });
}

// The documented way back: from the left, \\ is a backslash, \x and two hex
// digits a byte, anything else itself.
std::string ReadBack(std::string_view s)
{
    auto hex = [](char c) { return (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1; };
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') {
            out += '\\';
            i += 2;
        } else if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && hex(s[i + 2]) >= 0 && hex(s[i + 3]) >= 0) {
            out += static_cast<char>(hex(s[i + 2]) << 4 | hex(s[i + 3]));
            i += 4;
        } else {
            out += s[i++];
        }
    }
    return out;
}

// Over many strings made of the bytes that matter to the rules: what is
// written reads back to exactly what was given, and is well-formed UTF-8
// without a control or separator in it.
TEST(EscapeForLog, ReadsBackToItsInputAndHoldsNoControl)
{
    const std::vector<char> alphabet = { '\\', 'x', '0', 'a', 'A', '\n', '\x7f', '\0', '\xc2', '\x85', '\xa0',
                                         '\xe2', '\x80', '\xa8', '\xe3', '\x81', '\x82', '\xff', '\xed', '\xf0', '\x9f' };
    std::mt19937 rng(20240611);
    for (int n = 0; n < 20000; ++n) {
        std::string in;
        for (size_t len = rng() % 12; len > 0; --len)
            in += alphabet[rng() % alphabet.size()];
        std::string out = EscapeForLog(in);
        ASSERT_EQ(ReadBack(out), in) << test::ToHex(in) << " -> " << out;
        ASSERT_EQ(Utf16ToUtf8(Utf8ToUtf16(out)), out) << test::ToHex(in);
        for (char16_t u : Utf8ToUtf16(out))
            ASSERT_FALSE(u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029) << test::ToHex(in);
    }
}

TEST(EscapeCp932ForLog, CharactersInUtf8AndOtherBytesAsCp932Bytes)
{
    struct Cp932Case {
        AnsiString in;
        std::string out;
    };
    for (const Cp932Case& c : std::vector<Cp932Case>{
             { S(u8"背景\\bg01.gal"), "背景\\bg01.gal" },
             { "\x95\x5c" "x", "表x" }, // 表 ends in 0x5C: no backslash to double
             { "\\x", R"(\\x)" },
             { "\xb1\x81\x40", "ｱ\xe3\x80\x80" }, // half-width ｱ, the ideographic space
             { "a\nb\x1b", R"(a\x0ab\x1b)" },
             { "\xff.bin", R"(\xff.bin)" },
             { "\x81\x7f", R"(\x81\x7f)" }, // no pair: the lead byte alone, then DEL
             { "\x81" "A", "、" }, // 0x81 0x41: the 'A' is the second byte of 、
             { "\\\x81", R"(\\\x81)" }, // a lead byte cut at the end
             // ∵ of the NEC row converts back to 81 E6: as bytes, both of them.
             { "\x87\x9a" "A", R"(\x87\x9aA)" },
             { "\x81\xe6", "∵" },
         }) {
        EXPECT_EQ(EscapeCp932ForLog(c.in), c.out) << test::ToHex(c.in);
    }
}

} // namespace
