#include "base/path.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;

namespace {

// ソ is 83 5C, 表 is 95 5C: their second byte is a backslash.
const AnsiString kSo = "\x83\x5C";
const AnsiString kHyo = "\x95\x5C";

TEST(PathSeparator, SecondByteOfTwoByteCharacterIsNotASeparator)
{
    AnsiString p = "C:\\" + kSo + "\\x";
    EXPECT_TRUE(IsPathSeparator(p, 3));
    EXPECT_FALSE(IsPathSeparator(p, 5)); // 0x5C inside ソ
    EXPECT_TRUE(IsPathSeparator(p, 6));
    EXPECT_FALSE(IsPathSeparator(p, 0));
    EXPECT_FALSE(IsPathSeparator(p, 8));
    EXPECT_FALSE(IsPathSeparator("", 1));
}

TEST(AddBackslash, AppendsAfterTwoByteCharacterEndingIn5C)
{
    EXPECT_EQ(AddBackslash("C:\\" + kSo), "C:\\" + kSo + "\\");
    EXPECT_EQ(AddBackslash("D:\\" + kHyo), "D:\\" + kHyo + "\\");
    EXPECT_EQ(AddBackslash("C:\\"), "C:\\");
    EXPECT_EQ(AddBackslash("C:\\Games"), "C:\\Games\\");
    EXPECT_EQ(AddBackslash(""), "\\");
}

TEST(StripLastPathPart, RemovesOneComponent)
{
    AnsiString p = "A\\B\\C\\";
    StripLastPathPart(p);
    EXPECT_EQ(p, "A\\B");
    StripLastPathPart(p);
    EXPECT_EQ(p, "A");
    StripLastPathPart(p);
    EXPECT_EQ(p, "");
    StripLastPathPart(p);
    EXPECT_EQ(p, "");
}

TEST(StripLastPathPart, NeverSplitsInsideATwoByteCharacter)
{
    // Studio\ソフト: the 5C of ソ must not be taken for the last separator.
    AnsiString p = "Studio\\" + kSo + "x";
    StripLastPathPart(p);
    EXPECT_EQ(p, "Studio");
    AnsiString q = kHyo + "\\" + kSo;
    StripLastPathPart(q);
    EXPECT_EQ(q, kHyo);
    AnsiString r = kSo; // one character: no separator at all
    StripLastPathPart(r);
    EXPECT_EQ(r, "");
}

TEST(PathParts, DirectoryNameAndExtension)
{
    EXPECT_EQ(ExtractFilePath("C:\\Games\\game.dat"), "C:\\Games\\");
    EXPECT_EQ(ExtractFileName("C:\\Games\\game.dat"), "game.dat");
    EXPECT_EQ(ExtractFilePath("C:game.dat"), "C:");
    EXPECT_EQ(ExtractFileName("game.dat"), "game.dat");
    EXPECT_EQ(ExtractFilePath("game.dat"), "");
    EXPECT_EQ(ExtractFileExt("C:\\a.b\\c"), "");
    EXPECT_EQ(ExtractFileExt("C:\\a.b\\c.TXT"), ".TXT");
    EXPECT_EQ(ExtractFilePath("x\\" + kSo + "\\y"), "x\\" + kSo + "\\");
    EXPECT_EQ(ExtractFileName("x\\" + kSo), kSo);
    EXPECT_EQ(ChangeFileExt("D:\\Game\\game.dat", ".001"), "D:\\Game\\game.001");
    EXPECT_EQ(ChangeFileExt("D:\\Game.d\\data", ".001"), "D:\\Game.d\\data.001");
}

TEST(SplitCommandLine, QuotesOpenAndCloseWithoutEscapes)
{
    EXPECT_EQ(SplitCommandLine("\"D:\\\""), StringList{ "D:\\" });
    EXPECT_EQ(SplitCommandLine("  a\tb\r\nc  "), (StringList{ "a", "b", "c" }));
    EXPECT_EQ(SplitCommandLine("x\"y z\"w v"), (StringList{ "xy zw", "v" }));
    EXPECT_EQ(SplitCommandLine("a\\\"b c\""), (StringList{ "a\\b c" }));
    EXPECT_EQ(SplitCommandLine("\"\" x"), (StringList{ "", "x" }));
    EXPECT_EQ(SplitCommandLine(""), StringList{});
    // Second bytes of CP932 never look like a quote or a blank.
    AnsiString dir = "\"C:\\" + S(u8"ソフト 表") + "\\\"";
    EXPECT_EQ(SplitCommandLine(dir + " second"), (StringList{ "C:\\" + S(u8"ソフト 表") + "\\", "second" }));
}

} // namespace

TEST(NormalizedPath, DotsRepeatsAndTrailingSeparatorsGo)
{
    EXPECT_EQ(NormalizedPath("C:\\Games\\.\\x\\..\\Title\\"), "C:\\Games\\Title");
    EXPECT_EQ(NormalizedPath("C:/a//b/"), "C:\\a\\b");
    // ".." never climbs above the root, which keeps its backslash.
    EXPECT_EQ(NormalizedPath("C:\\..\\..\\x"), "C:\\x");
    EXPECT_EQ(NormalizedPath("D:"), "D:\\");
    EXPECT_EQ(NormalizedPath("\\\\server\\share\\a\\..\\b"), "\\\\server\\share\\b");
    // A name ending in the byte 0x5C (ソ) is one component.
    AnsiString so = S(u8"ソ");
    EXPECT_EQ(NormalizedPath("C:\\" + so + "\\..\\" + so), "C:\\" + so);
}

TEST(StaysBelow, OnlyPathsThatNeverClimbOut)
{
    for (const char* inside : { "a.exe", "a\\..\\b", "a/./b/../c", ".", "", "a\\..", "x\\y\\..\\..\\z" })
        EXPECT_TRUE(StaysBelow(inside)) << inside;
    for (const char* outside : { "..", "..\\a", "a\\..\\..\\b", "./../a", "\\a", "/a", "C:\\a", "c:a", "a:stream" })
        EXPECT_FALSE(StaysBelow(outside)) << outside;
    // The 0x5C ending ソ is part of a name, not a separator: "ソ..\\x" is one name below.
    EXPECT_TRUE(StaysBelow(S(u8"ソ..\\x")));
    EXPECT_FALSE(StaysBelow(S(u8"ソ\\..\\..\\x")));
}
