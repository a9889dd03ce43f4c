#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/text.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;

namespace {

TEST(CaseFolding, OnlyAsciiLettersInSingleBytePositions)
{
    // 0x83 0x41 is ア: its second byte is 'A' and must not fold.
    AnsiString a = "\x83\x41" "AbC";
    EXPECT_EQ(AnsiLowerCase(a), "\x83\x41" "abc");
    EXPECT_EQ(AnsiUpperCase("bg01.gal"), "BG01.GAL");
    EXPECT_TRUE(SameText("Bg01.GAL", "bG01.gal"));
    EXPECT_FALSE(SameText("\x83\x41", "\x83\x61")); // ア vs a different character
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_GT(CompareText("abcd", "ABC"), 0);
    EXPECT_EQ(AnsiLowerCase(S(u8"ΑΒ")), S(u8"ΑΒ")); // Greek capitals stay
}

TEST(LastDelimiter, WalksFromTheStart)
{
    AnsiString s = "a\\\x83\x5C";
    EXPECT_EQ(LastDelimiter("\\", s), 1u);
    EXPECT_EQ(LastDelimiter(".", s), std::string::npos);
    EXPECT_TRUE(IsCharStart(s, 2));
    EXPECT_FALSE(IsCharStart(s, 3));
}

TEST(Codepage, StrictConversionBothWays)
{
    std::string utf8;
    ASSERT_TRUE(TryCp932ToUtf8("\x83\x5C\x95\x5C", utf8));
    EXPECT_EQ(utf8, "ソ表");
    AnsiString back;
    ASSERT_TRUE(TryUtf8ToCp932("セットアップ ｶﾅ", back));
    EXPECT_EQ(back, "\x83\x5a\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76 \xb6\xc5");
    EXPECT_EQ(S(u8"abc"), "abc");
    EXPECT_FALSE(TryUtf8ToCp932("é", back));
    EXPECT_FALSE(TryUtf8ToCp932("\xF0\x9F\x98\x80", back)); // emoji
    EXPECT_FALSE(TryCp932ToUtf8("\x81", utf8));              // a lead byte alone
    EXPECT_FALSE(TryCp932ToUtf8("\x81\x20", utf8));          // a lead byte before a blank
    EXPECT_THROW(Utf8ToCp932("café"), EConvertError);
    EXPECT_EQ(Cp932ToUtf8Lossy("a\x81"), "a\xEF\xBF\xBD");
}

TEST(Codepage, RoundTripTellsDuplicatesApart)
{
    EXPECT_TRUE(RoundTripsCp932(S(u8"ゲーム")));
    EXPECT_TRUE(RoundTripsCp932("\x81\xE6"));    // ∵, the code the encoder chooses
    EXPECT_FALSE(RoundTripsCp932("\x87\x9A"));   // the same ∵ in the NEC row comes back as 81 E6
    EXPECT_FALSE(RoundTripsCp932("\x81"));
    EXPECT_TRUE(RoundTripsCp932("\xF0\x40"));    // the user-defined area is CP932 too
}

TEST(HostText, UnrepresentableCharactersRoundTripThroughSlots)
{
    for (std::string host : { std::string("caf\xC3\xA9"), std::string("smile \xF0\x9F\x98\x80.txt"),
                              std::string("mixed \xC3\xA9 \xE3\x82\xBD\xE8\xA1\xA8") }) {
        AnsiString ansi = HostUtf8ToAnsi(host);
        EXPECT_EQ(AnsiToHostUtf8(ansi), host);
        std::u16string w = Utf8ToUtf16(host);
        EXPECT_EQ(AnsiToUtf16(Utf16ToAnsi(w)), w);
    }
    // The same character always gets the same slot, within the user-defined area.
    AnsiString e1 = HostUtf8ToAnsi("\xC3\xA9"), e2 = HostUtf8ToAnsi("x\xC3\xA9");
    ASSERT_EQ(e1.size(), 2u);
    EXPECT_EQ(e2.substr(1), e1);
    EXPECT_GE(static_cast<unsigned char>(e1[0]), 0xF0);
    EXPECT_LE(static_cast<unsigned char>(e1[0]), 0xF9);
    // Representable text uses its real codes.
    EXPECT_EQ(HostUtf8ToAnsi("ソ"), "\x83\x5C");
}

TEST(HostText, NameComponentsKeepBackslashAndColonAsCharacters)
{
    AnsiString name = HostUtf8ToAnsi("a\\b:c", true);
    EXPECT_EQ(name.find('\\') == std::string::npos || !IsCharStart(name, name.find('\\')), true);
    EXPECT_EQ(LastDelimiter("\\:", name), std::string::npos);
    EXPECT_EQ(AnsiToHostUtf8(name), "a\\b:c");
    EXPECT_EQ(HostUtf8ToAnsi("a\\b", false), "a\\b");
}

TEST(HostText, PrivateUseCharactersKeepTheirOwnCodes)
{
    // U+E000 is the standard image of F0 40.
    EXPECT_EQ(HostUtf8ToAnsi("\xEE\x80\x80"), "\xF0\x40");
    EXPECT_EQ(AnsiToHostUtf8("\xF0\x40"), "\xEE\x80\x80");
}

TEST(HostText, InvalidBytesSurvive)
{
    std::string host = "bad\xFF\xFEname";
    EXPECT_EQ(AnsiToHostUtf8(HostUtf8ToAnsi(host)), host);
    // Invalid CP932 goes out as the raw byte (POSIX) or an escaped unit (UTF-16).
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16("x\x80y")), "x\x80y");
}

TEST(Format, SystemFormatStrings)
{
    EXPECT_EQ(Format("%s.%.3d", { "game", 1 }), "game.001");
    EXPECT_EQ(Format("%s.%.3d", { "game", 1000 }), "game.1000");
    EXPECT_EQ(Format("%.3d : %d x %d  %d bpp", { 2, 32, 16, 8 }), "002 : 32 x 16  8 bpp");
    EXPECT_EQ(Format("%d%%", { -5 }), "-5%");
    EXPECT_EQ(Format("[%5s|%-4d]", { "ab", 7 }), "[   ab|7   ]");
    EXPECT_EQ(Format("%x", { 255 }), "FF");
    EXPECT_EQ(Format("%.2s", { "abcdef" }), "ab");
    EXPECT_THROW(Format("%d", { "text" }), EConvertError);
    EXPECT_THROW(Format("%s %s", { "one" }), EConvertError);
    EXPECT_THROW(Format("%q", { 1 }), EConvertError);
    EXPECT_EQ(Format(S(u8"ディスク%dを入れて"), { 2 }), S(u8"ディスク2を入れて"));
}

TEST(Format, FixedPointUsesTheLocaleSeparator)
{
    char saved = DecimalSeparator();
    SetDecimalSeparator('.');
    EXPECT_EQ(Format(u8"最低 %2f MB", { 12.5 }), S(u8"最低 12.50 MB"));
    EXPECT_EQ(Format("%2f", { 0.0 }), "0.00");
    EXPECT_EQ(Format("%2f", { 1234.567 }), "1234.57");
    SetDecimalSeparator(',');
    EXPECT_EQ(Format("%2f", { 12.5 }), "12,50");
    SetDecimalSeparator(saved);
}

TEST(FormatThousands, GroupsOfThree)
{
    EXPECT_EQ(FormatThousands(0), "0");
    EXPECT_EQ(FormatThousands(100), "100");
    EXPECT_EQ(FormatThousands(999), "999");
    EXPECT_EQ(FormatThousands(1000), "1,000");
    EXPECT_EQ(FormatThousands(12345), "12,345");
    EXPECT_EQ(FormatThousands(1234567), "1,234,567");
    EXPECT_EQ(FormatThousands(-1234), "-1,234");
}

TEST(Exception, CarriesCp932Message)
{
    try {
        ThrowFileOpenError("C:\\" + S(u8"ソ") + "\\x");
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), S(u8"ファイル C:\\ソ\\x は開けません"));
    }
    try {
        ThrowReadError();
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), S(u8"ストリームからの読み込みエラー"));
    }
}

} // namespace
