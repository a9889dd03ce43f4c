#include "archive/vr_files.h"
#include "archive_test_util.h"
#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::Hex;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

// zlib streams worked out by hand: header 78 01, one stored block (final,
// length, its complement, the bytes), Adler-32 big-endian.
// "hi": a = 1 + 104 + 105 = 0xD2, b = 105 + 210 = 0x13B.
const std::string kZlibHi = Hex("78 01 01 02 00 fd ff 68 69 01 3b 00 d2");
// "x": a = b = 121.
const std::string kZlibX = Hex("78 01 01 01 00 fe ff 78 00 79 00 79");

std::string Load(TVrFileCollection& c, const AnsiString& name)
{
    TMemoryStream m;
    c.LoadEntry(m, name);
    EXPECT_EQ(m.GetPosition(), 0);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

void ExpectEntry(TVrFileCollection& c, int i, const char* name, int32_t offset, int32_t size, uint8_t stored)
{
    SCOPED_TRACE(name);
    EXPECT_EQ(c.Items(i).Name(), name);
    EXPECT_EQ(c.Items(i).Offset, offset);
    EXPECT_EQ(c.Items(i).Size, size);
    EXPECT_EQ(c.Items(i).Stored, stored);
}

TEST(VrReader, VersionZeroPlainDirectory)
{
    TempDir dir;
    // N = 1; name "a"; offsets 17 and 30; the entry.
    test::WriteFile(dir / "game.dat", Hex("01 00 00 00  01 00 00 00 61  11 00 00 00 1e 00 00 00") + kZlibHi);
    TVrFileCollection c;
    c.Open(dir / "game.dat");
    EXPECT_EQ(c.Version, 0);
    ASSERT_EQ(c.Count(), 2);
    ExpectEntry(c, 0, "a", 17, 13, 0);
    ExpectEntry(c, 1, "\\EOF\\", 30, 0, 0);
    EXPECT_EQ(Load(c, "a"), "hi");
    EXPECT_EQ(Load(c, "A"), "hi");
    EXPECT_EQ(Load(c, "\\EOF\\"), "");
    EXPECT_EQ(c.BaseDir, dir.Path());
    EXPECT_EQ(c.FileName, dir / "game.dat");
}

TEST(VrReader, Version100ScrambledAndEveryEntryInflated)
{
    // Key values from seed 1513920225: 5A3C96E1, 1D6B8946, ED56453F.
    // Names "ab", "c": 61^E1 = 80, 62^46 = 24, 63^3F = 5C (one running key).
    // Offsets 33, 46, 58 XORed with a fresh key: 5A3C96C0, 1D6B8968, ED564505.
    // The first entry's bytes follow the table where a flag table would be:
    // version 100 has none, so both entries are inflated.
    TempDir dir;
    test::WriteFile(dir / "game.dat", Hex("76 66 64 00 00 00 02 00 00 00  02 00 00 00 80 24  01 00 00 00 5c"
                                          "c0 96 3c 5a 68 89 6b 1d 05 45 56 ed") +
                                          kZlibHi + kZlibX);
    TVrFileCollection c;
    c.Open(dir / "game.dat");
    EXPECT_EQ(c.Version, 100);
    ASSERT_EQ(c.Count(), 3);
    ExpectEntry(c, 0, "ab", 33, 13, 0);
    ExpectEntry(c, 1, "c", 46, 12, 0);
    ExpectEntry(c, 2, "\\EOF\\", 58, 0, 0);
    EXPECT_EQ(Load(c, "ab"), "hi");
    EXPECT_EQ(Load(c, "C"), "x");
}

TEST(VrReader, Version101FlagTable)
{
    // Same names; offsets 35, 48, 52 -> 5A3C96C2, 1D6B8976, ED56450B;
    // flags 0 (compressed) and 1 (stored).
    TempDir dir;
    test::WriteFile(dir / "game.dat", Hex("76 66 65 00 00 00 02 00 00 00  02 00 00 00 80 24  01 00 00 00 5c"
                                          "c2 96 3c 5a 76 89 6b 1d 0b 45 56 ed  00 01") +
                                          kZlibHi + "raw!");
    TVrFileCollection c;
    c.Open(dir / "game.dat");
    EXPECT_EQ(c.Version, 101);
    ExpectEntry(c, 0, "ab", 35, 13, 0);
    ExpectEntry(c, 1, "c", 48, 4, 1);
    ExpectEntry(c, 2, "\\EOF\\", 52, 0, 0);
    EXPECT_EQ(Load(c, "ab"), "hi");
    EXPECT_EQ(Load(c, "c"), "raw!");
}

TEST(VrReader, BuiltArchivesOfEveryKind)
{
    TempDir dir;
    std::string big(100000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 % 251);
    for (int32_t version : { 0, 1, 99, 100, 101, 250, -3 }) {
        SCOPED_TRACE(version);
        std::vector<vftest::Entry> entries = { { S(u8"背景\\bg01.gal"), vftest::Zlib(big), 0 },
                                               { "empty", "", 0 },
                                               { "sound\\se.ogg", version >= 101 ? "OggS" : vftest::Zlib("OggS"), uint8_t(version >= 101) } };
        test::WriteFile(dir / "v.dat", vftest::Build(version, entries));
        TVrFileCollection c;
        c.Open(dir / "v.dat");
        ASSERT_EQ(c.Count(), 4);
        EXPECT_EQ(c.Version, version);
        EXPECT_EQ(Load(c, S(u8"背景\\BG01.GAL")), big);
        EXPECT_EQ(Load(c, "empty"), "");
        EXPECT_EQ(Load(c, "SOUND\\se.ogg"), "OggS");
        EXPECT_EQ(c.Items(1).Offset, c.Items(2).Offset);
    }
}

TEST(VrReader, NamesDifferingInCaseTheLaterWins)
{
    TempDir dir;
    test::WriteFile(dir / "game.dat", vftest::Build(101, { { "Title.gal", "first", 1 }, { "other", "o", 1 }, { "TITLE.GAL", "second", 1 } }));
    TVrFileCollection c;
    c.Open(dir / "game.dat");
    EXPECT_EQ(c.IndexOf("title.gal"), 2);
    EXPECT_EQ(Load(c, "title.gal"), "second");
}

TEST(VrReader, LooseFilesDirectoriesAndMissingArchives)
{
    TempDir dir;
    test::WriteFile(dir / "game.dat", vftest::Build(101, { { "a.txt", "archived", 1 }, { "b.txt", "only here", 1 } }));
    test::WriteFile(dir / "a.txt", "loose");
    TVrFileCollection c;
    c.Open(dir / "game.dat");
    EXPECT_EQ(Load(c, "a.txt"), "loose"); // the loose file beside the archive wins
    EXPECT_EQ(Load(c, "b.txt"), "only here");
    try {
        Load(c, "none.txt");
        FAIL();
    } catch (const EVrFileNotFound& e) {
        EXPECT_EQ(e.Message(), S(u8"none.txt:ファイルがありません"));
    }
    EXPECT_THROW(Load(c, ""), EVrFileNotFound);

    // A directory: loose files only.
    AnsiString sub = dir / "sub";
    platform::ForceDirectories(sub);
    test::WriteFile(sub + "\\x.txt", "x");
    c.Open(sub);
    EXPECT_EQ(c.BaseDir, sub + "\\");
    EXPECT_EQ(c.Count(), 0);
    EXPECT_FALSE(c.Stream);
    EXPECT_EQ(Load(c, "x.txt"), "x");
    EXPECT_THROW(Load(c, "a.txt"), EVrFileNotFound);

    // A directory whose name ends in the second byte 5C of ソ gets its backslash.
    AnsiString soft = dir / S(u8"ソ");
    platform::ForceDirectories(soft);
    test::WriteFile(soft + "\\y.txt", "y");
    c.Open(soft);
    EXPECT_EQ(c.BaseDir, soft + "\\");
    EXPECT_EQ(Load(c, "y.txt"), "y");

    // Not there yet, as a file: its directory.
    c.Open(dir / "new\\game.dat", true);
    EXPECT_EQ(c.BaseDir, dir / "new\\");
    EXPECT_EQ(c.Count(), 0);
    EXPECT_FALSE(c.Stream);

    c.Open("");
    EXPECT_EQ(c.BaseDir, "");
    EXPECT_EQ(c.FileName, "");
    EXPECT_EQ(c.Count(), 0);
}

TEST(VrReader, EntryStraddlingPieces)
{
    TempDir dir;
    std::string content(300, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>('a' + i % 26);
    std::string bytes = vftest::Build(100, { { "one", vftest::Zlib("first"), 0 }, { "long", vftest::Zlib(content, 0), 0 } });
    // Pieces of 64 bytes: both entries run over seams.
    for (size_t at = 0, i = 0; at < bytes.size(); at += 64, ++i)
        test::WriteFile(TTpBigFileStream::PieceNameOf(dir / "game.dat", static_cast<int>(i)), bytes.substr(at, 64));
    TVrFileCollection c;
    c.PieceSize = 64;
    c.Open(dir / "game.dat");
    EXPECT_GE(c.Stream->PieceCount(), 5);
    EXPECT_EQ(Load(c, "one"), "first");
    EXPECT_EQ(Load(c, "long"), content);
}

// At the real size: a sparse base file of 2^30 bytes with the directory at its
// start and an entry running from 2^30 - 3 into game.001.
TEST(VrReader, EntryStraddlingTheRealSeam)
{
    TempDir dir;
    const int64_t piece = int64_t(1) << 30;
    std::string entry = vftest::Zlib("straddling the seam between game.dat and game.001");
    std::vector<vftest::Entry> entries = { { "gap", "", 1 }, { "seam", entry, 0 } };
    std::string head = vftest::Build(101, entries);
    head.resize(head.size() - entry.size());
    // Rewrite the offsets: "gap" runs from the data start to 2^30 - 3.
    int64_t dataStart = static_cast<int64_t>(head.size());
    std::vector<int64_t> offsets = { dataStart, piece - 3, piece - 3 + static_cast<int64_t>(entry.size()) };
    vftest::Key key;
    std::string table;
    for (int64_t o : offsets)
        vftest::PutI32(table, static_cast<uint32_t>(o) ^ key.Next());
    head.replace(head.size() - 2 - 12, 12, table);
    {
        auto f = platform::File::Open(dir / "game.dat", platform::File::Mode::Create);
        ASSERT_EQ(f->Write(head.data(), static_cast<int64_t>(head.size())), static_cast<int64_t>(head.size()));
        f->Seek(piece - 3);
        ASSERT_EQ(f->Write(entry.data(), 3), 3);
    }
    test::WriteFile(dir / "game.001", entry.substr(3));
    TVrFileCollection c;
    c.Open(dir / "game.dat");
    ASSERT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Items(1).Offset, piece - 3);
    EXPECT_EQ(Load(c, "seam"), "straddling the seam between game.dat and game.001");
}

TEST(VrReader, ZlibDataIsCheckedStrictly)
{
    TempDir dir;
    std::string good = vftest::Zlib("hello, hello, hello, hello");
    std::string badCheck = good;
    badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
    std::string cut = good.substr(0, good.size() - 5);
    std::string garbage = "this is no zlib";
    test::WriteFile(dir / "game.dat", vftest::Build(100, { { "good", good + "trailing bytes", 0 },
                                                           { "check", badCheck, 0 },
                                                           { "cut", cut, 0 },
                                                           { "garbage", garbage, 0 },
                                                           { "empty", "", 0 } }));
    TVrFileCollection c;
    c.Open(dir / "game.dat");
    EXPECT_EQ(Load(c, "good"), "hello, hello, hello, hello"); // bytes after the stream's end are ignored
    EXPECT_EQ(Load(c, "empty"), "");
    auto message = [&](const char* name) {
        TMemoryStream m;
        try {
            c.LoadEntry(m, name);
        } catch (const EVrArchiveError& e) {
            EXPECT_EQ(m.GetSize(), 0);
            return Cp932ToUtf8Lossy(e.Message());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("check"), "check:展開できません (incorrect data check)");
    EXPECT_EQ(message("cut"), "cut:展開できません (データが途中で切れています)");
    EXPECT_EQ(message("garbage"), "garbage:展開できません (incorrect header check)");

    // The content limit.
    std::string big(5000, 'z');
    test::WriteFile(dir / "big.dat", vftest::Build(100, { { "big", vftest::Zlib(big), 0 } }));
    c.Open(dir / "big.dat");
    c.MaxEntrySize = 5000;
    EXPECT_EQ(Load(c, "big"), big);
    c.MaxEntrySize = 4999;
    EXPECT_EQ(message("big"), "big:展開後の大きさが上限 4999 バイトを超えます");
}

// Every shorter prefix of an archive is refused, and the collection is empty
// and closed afterwards.
TEST(VrReader, EveryTruncationFailsCleanly)
{
    TempDir dir;
    for (int32_t version : { 0, 100, 101 }) {
        std::string bytes = vftest::Build(version, { { "a.txt", vftest::Zlib("alpha"), 0 }, { "bb", vftest::Zlib("beta"), 0 } });
        for (size_t n = 0; n < bytes.size(); ++n) {
            SCOPED_TRACE(testing::Message() << "version " << version << " length " << n);
            test::WriteFile(dir / "cut.dat", bytes.substr(0, n));
            TVrFileCollection c;
            EXPECT_THROW(c.Open(dir / "cut.dat"), EVrArchiveError);
            EXPECT_EQ(c.Count(), 0);
            EXPECT_FALSE(c.Stream);
        }
        test::WriteFile(dir / "whole.dat", bytes);
        TVrFileCollection c;
        c.Open(dir / "whole.dat");
        EXPECT_EQ(Load(c, "BB"), "beta");
    }
}

std::string DamageMessage(const std::string& bytes)
{
    TempDir dir;
    test::WriteFile(dir / "d.dat", bytes);
    TVrFileCollection c;
    try {
        c.Open(dir / "d.dat");
    } catch (const EVrArchiveError& e) {
        std::string m = Cp932ToUtf8Lossy(e.Message());
        return m.substr(m.find('('));
    }
    return "opened";
}

TEST(VrReader, DamagedDirectories)
{
    using vftest::PutI32;
    std::string huge = "vf";
    PutI32(huge, 101);
    PutI32(huge, 0x7FFFFFFF);
    huge += std::string(64, '\0');
    EXPECT_EQ(DamageMessage(huge), "(項目数 2147483647 がファイルの大きさに合いません)");
    std::string negative = "vf";
    PutI32(negative, 101);
    PutI32(negative, -1);
    EXPECT_EQ(DamageMessage(negative), "(項目数 -1 が負です)");

    std::string good = vftest::Build(0, { { "a", "AAAA", 0 }, { "b", "BBBB", 0 } });
    // Layout: N, (1, "a"), (1, "b"), offsets 26, 30, 34 at 14, 18, 22, data from 26.
    std::string negLength = good;
    negLength.replace(9, 4, Hex("fb ff ff ff"));
    EXPECT_EQ(DamageMessage(negLength), "(項目 1 の名前の長さ -5 が不正です)");
    std::string longName = good;
    longName.replace(9, 4, Hex("00 01 00 00"));
    EXPECT_EQ(DamageMessage(longName), "(項目 1 の名前の長さ 256 が不正です)");
    std::string pastEnd = good;
    pastEnd.replace(22, 4, Hex("23 00 00 00")); // end offset 35 > size 34
    EXPECT_EQ(DamageMessage(pastEnd), "(項目 2 の位置 35 がファイルの外にあります)");
    std::string decreasing = good;
    decreasing.replace(18, 4, Hex("10 00 00 00")); // 26, 16, 30
    EXPECT_EQ(DamageMessage(decreasing), "(項目 1 の位置 16 が前の項目の位置 26 より前にあります)");
    std::string negOffset = good;
    negOffset.replace(14, 4, Hex("ff ff ff ff"));
    EXPECT_EQ(DamageMessage(negOffset), "(項目 0 の位置 -1 がファイルの外にあります)");

    // An empty record (length 0) is skipped, as readers of the format do, with
    // no key value used: the remaining directory still reads.
    std::string withEmpty = Hex("02 00 00 00 00 00 00 00 01 00 00 00 61 15 00 00 00 19 00 00 00") + "AAAA";
    TempDir dir;
    test::WriteFile(dir / "e.dat", withEmpty);
    TVrFileCollection c;
    c.Open(dir / "e.dat");
    ASSERT_EQ(c.Count(), 2);
    ExpectEntry(c, 0, "a", 21, 4, 0);
}

TEST(VrReader, LenientReadingListsTheDamage)
{
    TempDir dir;
    std::string good = vftest::Build(0, { { "a", "AAAA", 0 }, { "b", "BBBB", 0 } });
    std::string damaged = good;
    damaged.replace(9, 4, Hex("fb ff ff ff")); // "b" becomes a record of length -5, then garbage
    test::WriteFile(dir / "d.dat", damaged);
    TVrFileCollection c;
    c.StrictDirectory = false;
    c.Open(dir / "d.dat");
    ASSERT_GE(c.DirectoryProblems.size(), 1u);
    EXPECT_NE(Cp932ToUtf8Lossy(c.DirectoryProblems[0]).find("項目 1 の名前の長さ -5 が不正です"), std::string::npos);

    std::string pastEnd = good;
    pastEnd.replace(22, 4, Hex("23 00 00 00"));
    test::WriteFile(dir / "p.dat", pastEnd);
    c.Open(dir / "p.dat");
    EXPECT_TRUE(c.DirectoryProblems.empty()); // offsets are left to the caller to judge
    ASSERT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Items(2).Offset, 35);
    EXPECT_THROW(Load(c, "b"), EVrArchiveError);
}

TEST(VrReader, AppendedArchive)
{
    TempDir dir;
    std::string program = "MZ" + std::string(98, 'p');
    std::string archive = vftest::Build(101, { { "title.gal", "picture", 1 } }, 100);
    std::string file = program + archive;
    vftest::PutI32(file, 100);
    test::WriteFile(dir / "setup.exe", file);
    TVrFileCollection c;
    c.Appended = true;
    c.Open(dir / "setup.exe");
    EXPECT_EQ(c.ArchiveStart, 100);
    EXPECT_EQ(Load(c, "title.gal"), "picture");

    std::string badStart = program + archive;
    vftest::PutI32(badStart, 5000);
    test::WriteFile(dir / "bad.exe", badStart);
    EXPECT_THROW(c.Open(dir / "bad.exe"), EVrArchiveError);
}

// The running executable with an archive appended finds it by itself.
TARN_CHILD(appended)
{
    TVrFileCollection c;
    c.Open(platform::ModuleFileName());
    TMemoryStream m;
    c.LoadEntry(m, "hello.txt");
    platform::WriteStdout(std::string_view(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize())));
    return 0;
}

TEST(VrReader, ArchiveAppendedToTheRunningProgram)
{
    TempDir dir;
    AnsiString copy = dir / ("copy" + ExtractFileExt(test::SelfPath()));
    ASSERT_TRUE(platform::CopyFileWithAttributes(test::SelfPath(), copy)); // keeps it executable
    int64_t start = platform::FileSize(copy);
    std::string tail = vftest::Build(100, { { "hello.txt", vftest::Zlib("from the program itself"), 0 } }, start);
    vftest::PutI32(tail, start);
    {
        auto f = platform::File::Open(copy, platform::File::Mode::ReadWrite);
        ASSERT_TRUE(f);
        f->Seek(start);
        ASSERT_EQ(f->Write(tail.data(), static_cast<int64_t>(tail.size())), static_cast<int64_t>(tail.size()));
    }
    platform::ProcessResult r = platform::RunProcess(copy, test::ChildArgs("appended"));
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "from the program itself");
}

} // namespace
