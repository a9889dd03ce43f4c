#include <algorithm>

#include "base/error.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::Hex;
using tarn::test::S;

namespace {

// install.dat laid out field by field, independently of the project's writer.
class FileBytes {
public:
    FileBytes& I32(int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>(static_cast<uint32_t>(v) >> (8 * i) & 0xFF);
        return *this;
    }
    FileBytes& U8(uint8_t v) { return bytes += static_cast<char>(v), *this; }
    FileBytes& Str(std::string_view s) { return I32(static_cast<int32_t>(s.size())), bytes += s, *this; }
    std::string bytes;
};

struct Disc {
    int32_t Program, Data, Sound, Movie;
};

// A description with every field set; strings and numbers vary with seed so
// that two of them share nothing.
std::string Description(int seed, const std::vector<Disc>& discs, uint8_t installed = 0)
{
    auto text = [&](const char* s) { return std::string(s) + std::to_string(seed); };
    FileBytes f;
    f.I32(seed).Str(text("Title")).Str(text("Footer")).Str(text("<ProgramFiles>\\Dir")).Str(text("readme"));
    f.U8(static_cast<uint8_t>(seed + 1)).Str(text("title.gal")).U8(static_cast<uint8_t>(seed + 2));
    f.I32(static_cast<int32_t>(discs.size())).Str(text("game.exe")).I32(seed * 1000);
    f.U8(static_cast<uint8_t>(seed + 3)).U8(static_cast<uint8_t>(seed + 4)).Str(text("CD")).Str(text("Studio\\Game"));
    for (const Disc& d : discs)
        f.I32(d.Program).I32(d.Data).I32(d.Sound).I32(d.Movie);
    f.I32(seed + 10).I32(seed + 11).I32(seed + 12).I32(seed + 13).U8(installed);
    return f.bytes;
}

TTarnInstallSet FromBytes(const std::string& bytes)
{
    TMemoryStream s;
    s.Assign(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    TTarnInstallSet d;
    d.LoadFromStream(s, "mem");
    return d;
}

std::vector<int32_t> Vec(std::span<const int32_t> s) { return { s.begin(), s.end() }; }

TEST(InstallSet, ReadsEveryFieldOfAHandAssembledFile)
{
    std::string bytes = Hex("01 00 00 00"               // DiscIndex 1
                            "03 00 00 00 61 62 63"      // Title "abc"
                            "00 00 00 00"               // FooterText ""
                            "04 00 00 00 43 3a 5c 58"   // DefaultDir "C:\X"
                            "00 00 00 00"               // ReadmeFile ""
                            "02"                        // OpenReadme 2
                            "02 00 00 00 74 69"         // TitleImage "ti"
                            "05"                        // ImageLayout 5
                            "02 00 00 00"               // DiscCount 2
                            "01 00 00 00 67"            // GameExe "g"
                            "fe ff ff ff"               // ImageSeed -2
                            "00"                        // SetupButtons 0
                            "7f"                        // Reserved 0x7f
                            "02 00 00 00 83 5c"         // MediaName "ソ" (second byte 0x5C)
                            "00 00 00 00"               // RegistryKey ""
                            "01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00"  // disc 0
                            "00 00 00 80 ff ff ff 7f 10 00 00 00 00 01 00 00"  // disc 1
                            "0a 00 00 00 0b 00 00 00 0c 00 00 00 0d 00 00 00"  // totals
                            "01");                      // Installed 1
    ASSERT_EQ(bytes.size(), 65u + 16 * 2 + 3 + 4 + 2 + 1 + 2);
    TTarnInstallSet d = FromBytes(bytes);
    EXPECT_EQ(d.DiscIndex, 1);
    EXPECT_EQ(d.Title, "abc");
    EXPECT_EQ(d.FooterText, "");
    EXPECT_EQ(d.DefaultDir, "C:\\X");
    EXPECT_EQ(d.ReadmeFile, "");
    EXPECT_EQ(d.OpenReadme, 2);
    EXPECT_EQ(d.TitleImage, "ti");
    EXPECT_EQ(d.ImageLayout, 5);
    EXPECT_EQ(d.DiscCount(), 2);
    EXPECT_EQ(d.GameExe, "g");
    EXPECT_EQ(d.ImageSeed, -2);
    EXPECT_EQ(d.SetupButtons, 0);
    EXPECT_EQ(d.Reserved, 0x7F);
    EXPECT_EQ(d.MediaName, S(u8"ソ"));
    EXPECT_EQ(d.RegistryKey, "");
    // The four lists are interleaved per disc in the file.
    EXPECT_EQ(Vec(d.ProgramSizes()), (std::vector<int32_t>{ 1, INT32_MIN }));
    EXPECT_EQ(Vec(d.DataSizes()), (std::vector<int32_t>{ 2, INT32_MAX }));
    EXPECT_EQ(Vec(d.SoundSizes()), (std::vector<int32_t>{ 3, 16 }));
    EXPECT_EQ(Vec(d.MovieSizes()), (std::vector<int32_t>{ 4, 256 }));
    EXPECT_EQ(d.ProgramTotal, 10);
    EXPECT_EQ(d.DataTotal, 11);
    EXPECT_EQ(d.SoundTotal, 12);
    EXPECT_EQ(d.MovieTotal, 13);
    EXPECT_EQ(d.Installed, 1);
    EXPECT_EQ(d.SaveToBytes(), bytes);
}

TEST(InstallSet, StringsAreALengthAndTheBytes)
{
    TTarnInstallSet d;
    EXPECT_EQ(d.SaveToBytes(), std::string(65, '\0')); // a new description: everything 0, no discs
    d.Title = "abc";
    std::string bytes = d.SaveToBytes();
    EXPECT_EQ(bytes.substr(4, 7), Hex("03 00 00 00 61 62 63"));
    EXPECT_EQ(bytes.substr(11, 4), Hex("00 00 00 00")); // the empty FooterText
    EXPECT_EQ(bytes.size(), 68u);
}

TEST(InstallSet, NoDiscsMeansNoRecords)
{
    std::string bytes = Description(3, {});
    ASSERT_EQ(bytes.size(), 65u + 8 * 1 + std::string("TitleFooter<ProgramFiles>\\Dirreadmetitle.galgame.exeCDStudio\\Game").size());
    TTarnInstallSet d = FromBytes(bytes);
    EXPECT_EQ(d.DiscCount(), 0);
    EXPECT_TRUE(d.ProgramSizes().empty() && d.MovieSizes().empty());
    EXPECT_EQ(d.RegistryKey, "Studio\\Game3");
    EXPECT_EQ(d.ProgramTotal, 13); // right after RegistryKey
    EXPECT_EQ(d.SaveToBytes(), bytes);
}

TEST(InstallSet, SavingWhatWasLoadedGivesTheSameBytes)
{
    test::TempDir dir;
    FileBytes f; // every kind of odd content: bytes that are no text, flags that are not 1
    f.I32(7).Str("\xff\xfe\x81").Str(S(u8"表示ソフト")).Str("").Str(std::string("a\0b", 3)).U8(0x80);
    f.Str("").U8(0xFF).I32(1).Str("x").I32(INT32_MIN).U8(0x11).U8(0xA5).Str(S(u8"ＣＤ")).Str("\\A\\");
    f.I32(-1).I32(0).I32(1).I32(2).I32(3).I32(4).I32(5).I32(6).U8(0);
    test::WriteFile(dir / "install.dat", f.bytes);

    TTarnInstallSet d;
    d.LoadFromFile(dir / "install.dat");
    d.SaveToFile(dir / "copy.dat");
    EXPECT_EQ(test::ReadFile(dir / "copy.dat"), f.bytes);
    d.SaveToFile(dir / "install.dat"); // over the file it came from
    EXPECT_EQ(test::ReadFile(dir / "install.dat"), f.bytes);

    platform::DirectoryReader reader(dir.Path(), false);
    platform::DirEntry e;
    StringList names;
    while (reader.Next(e))
        if (e.Name != "." && e.Name != "..")
            names.push_back(e.Name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (StringList{ "copy.dat", "install.dat" })); // no temporary file left
}

TEST(InstallSet, ASecondLoadLeavesNothingOfTheFirst)
{
    test::TempDir dir;
    std::string first = Description(1, { { 1, 2, 3, 4 }, { 5, 6, 7, 8 }, { 9, 10, 11, 12 } });
    FileBytes second; // the second disc's file: one disc, empty strings, zero numbers
    second.I32(0).Str("").Str("").Str("").Str("").U8(0).Str("").U8(0).I32(1).Str("").I32(0).U8(0).U8(0).Str("").Str("");
    second.I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).U8(0);
    test::WriteFile(dir / "1.dat", first);
    test::WriteFile(dir / "2.dat", second.bytes);

    TTarnInstallSet d;
    d.LoadFromFile(dir / "1.dat");
    EXPECT_EQ(d.DiscCount(), 3);
    EXPECT_EQ(Vec(d.SoundSizes()), (std::vector<int32_t>{ 3, 7, 11 }));
    d.LoadFromFile(dir / "2.dat");
    EXPECT_EQ(d.DiscCount(), 1);
    EXPECT_EQ(Vec(d.ProgramSizes()), std::vector<int32_t>{ 0 });
    EXPECT_EQ(d.Title, "");
    EXPECT_EQ(d.ImageSeed, 0);
    EXPECT_EQ(d.SaveToBytes(), second.bytes);
}

TEST(InstallSet, EveryTruncationIsRefusedAndChangesNothing)
{
    std::string valid = Description(2, { { 1, 2, 3, 4 }, { 5, 6, 7, 8 } }, 1);
    TTarnInstallSet d = FromBytes(Description(9, { { 9, 9, 9, 9 } }));
    const std::string before = d.SaveToBytes();
    for (size_t n = 0; n < valid.size(); ++n) {
        TMemoryStream s;
        s.Assign(std::vector<uint8_t>(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(n)));
        try {
            d.LoadFromStream(s, "cut.dat");
            ADD_FAILURE() << "a file cut to " << n << " bytes was accepted";
        } catch (const EInstallSetError& e) {
            EXPECT_NE(e.Message().find(S(u8"ファイル cut.dat は壊れています: ")), std::string::npos) << n;
        }
        ASSERT_EQ(d.SaveToBytes(), before) << "cut to " << n;
    }
    EXPECT_NO_THROW(FromBytes(valid));

    // Through a file, the message names the file.
    test::TempDir dir;
    test::WriteFile(dir / "install.dat", valid.substr(0, 27));
    try {
        d.LoadFromFile(dir / "install.dat");
        ADD_FAILURE();
    } catch (const EInstallSetError& e) {
        EXPECT_EQ(e.Message(), S(u8"ファイル ") + dir / "install.dat" + S(u8" は壊れています: DefaultDir の途中でファイルが終わっています"));
    }
    EXPECT_EQ(d.SaveToBytes(), before);
}

TEST(InstallSet, HostileLengthsCountsAndFlagsAreRefused)
{
    std::string valid = Description(4, { { 1, 2, 3, 4 } });
    const size_t countAt = 4 + 4 + 6 + 4 + 7 + 4 + 19 + 4 + 7 + 1 + 4 + 10 + 1; // after ImageLayout
    ASSERT_EQ(valid.substr(countAt, 4), Hex("01 00 00 00"));
    auto with = [&](size_t at, std::string_view patch) { return valid.substr(0, at) + std::string(patch) + valid.substr(at + patch.size()); };
    struct Case {
        std::string bytes;
        std::u8string reason;
    } cases[] = {
        { with(4, Hex("ff ff ff ff")), u8"Title の長さ -1 が負です" },
        { with(4, Hex("00 00 00 80")), u8"Title の長さ -2147483648 が負です" },
        { with(4, Hex("ff ff ff 7f")), u8"Title の長さ 2147483647 がファイルの残り 146 バイトを超えています" },
        { with(countAt, Hex("ff ff ff ff")), u8"ディスク数 -1 が負です" },
        // 16 x 0x10000000 is 2^32: a 32-bit product would wrap to 0 and pass.
        { with(countAt, Hex("00 00 00 10")), u8"ディスク数 268435456 の記録 (4294967296 バイト) がファイルの残り 75 バイトを超えています" },
        { with(countAt, Hex("05 00 00 00")), u8"ディスク数 5 の記録 (80 バイト) がファイルの残り 75 バイトを超えています" },
        { with(valid.size() - 1, Hex("02")), u8"Installed の値 2 は 0 でも 1 でもありません" },
        { with(valid.size() - 1, Hex("ff")), u8"Installed の値 255 は 0 でも 1 でもありません" },
    };
    for (const Case& c : cases) {
        TTarnInstallSet d;
        d.Title = "kept";
        try {
            TMemoryStream s;
            s.Assign(std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
            d.LoadFromStream(s, "bad.dat");
            ADD_FAILURE() << test::ToHex(c.bytes);
        } catch (const EInstallSetError& e) {
            EXPECT_EQ(e.Message(), S(u8"ファイル bad.dat は壊れています: ") + S(c.reason));
        }
        EXPECT_EQ(d.Title, "kept");
        EXPECT_EQ(d.DiscCount(), 0);
    }
}

TEST(InstallSet, AcceptsWhatTheFormatAllows)
{
    // DiscIndex outside the set and bytes after Installed: read, the extra bytes not kept.
    std::string bytes = Description(5, { { 1, 1, 1, 1 }, { 2, 2, 2, 2 } });
    TMemoryStream s;
    std::string withTail = bytes + "tail";
    s.Assign(std::vector<uint8_t>(withTail.begin(), withTail.end()));
    TTarnInstallSet d;
    d.LoadFromStream(s, "x");
    EXPECT_EQ(d.DiscIndex, 5);
    EXPECT_EQ(s.GetPosition(), static_cast<int32_t>(bytes.size())); // nothing after Installed is read
    EXPECT_EQ(d.SaveToBytes(), bytes);

    std::string negative = bytes;
    negative.replace(0, 4, Hex("fd ff ff ff"));
    EXPECT_EQ(FromBytes(negative).DiscIndex, -3);
}

TEST(InstallSet, OpenAndCreateFailuresCarryTheSystemMessages)
{
    test::TempDir dir;
    TTarnInstallSet d;
    try {
        d.LoadFromFile(dir / "missing.dat");
        ADD_FAILURE();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), S(u8"ファイル ") + platform::ShownPath(dir / "missing.dat") + S(u8" は開けません"));
    }
    AnsiString nowhere = dir / "no\\such\\install.dat";
    try {
        d.SaveToFile(nowhere);
        ADD_FAILURE();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), S(u8"ファイル ") + platform::ShownPath(nowhere) + S(u8" を作成できません"));
    }

    // A save that cannot write its temporary file leaves the old description whole.
    std::string old = Description(6, { { 1, 2, 3, 4 } });
    test::WriteFile(dir / "install.dat", old);
    ASSERT_TRUE(platform::ForceDirectories(dir / "$$install.dat.tmp"));
    EXPECT_THROW(d.SaveToFile(dir / "install.dat"), EFCreateError);
    EXPECT_EQ(test::ReadFile(dir / "install.dat"), old);
}

TEST(InstallSet, SetDiscCountResizesEveryList)
{
    TTarnInstallSet d;
    d.SetDiscCount(2);
    d.ProgramSizes()[1] = 11;
    d.MovieSizes()[0] = 40;
    d.SetDiscCount(3);
    EXPECT_EQ(Vec(d.ProgramSizes()), (std::vector<int32_t>{ 0, 11, 0 }));
    EXPECT_EQ(Vec(d.MovieSizes()), (std::vector<int32_t>{ 40, 0, 0 }));
    EXPECT_EQ(d.DataSizes().size(), 3u);
    EXPECT_EQ(d.SoundSizes().size(), 3u);
    d.SetDiscCount(1);
    EXPECT_EQ(Vec(d.MovieSizes()), std::vector<int32_t>{ 40 });
    EXPECT_EQ(d.SaveToBytes().size(), 65u + 16);
    EXPECT_THROW(d.SetDiscCount(-1), EListError);
    EXPECT_THROW(d.SetDiscCount(TTarnInstallSet::MaxDiscCount + 1), EListError);
    EXPECT_EQ(d.DiscCount(), 1);
}

} // namespace
