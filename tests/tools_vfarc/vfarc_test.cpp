// vfarc run as a program, on archives assembled by the tests' own builder.
#include <algorithm>

#include "../archive/archive_test_util.h"
#include "archive/big_stream.h"
#include "base/codepage.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "common/tool_json.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;
using tarn::tools::Json;

namespace {

std::string H(const AnsiString& path) { return platform::DisplayPath(path); }

platform::ProcessResult Vfarc(std::vector<std::string> args)
{
    return platform::RunProcess(test::ProgramPath("vfarc"), args);
}

StringList Tree(const AnsiString& dir, const AnsiString& prefix = "")
{
    StringList out;
    platform::DirectoryReader reader(dir, false);
    platform::DirEntry e;
    std::vector<platform::DirEntry> list;
    while (reader.Next(e))
        if (e.Name != "." && e.Name != "..")
            list.push_back(e);
    for (const auto& d : list) {
        if (d.Attributes & faDirectory) {
            StringList sub = Tree(dir + d.Name + "\\", prefix + d.Name + "/");
            out.insert(out.end(), sub.begin(), sub.end());
        } else {
            out.push_back(prefix + d.Name);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Vfarc, UsageHelpAndVersion)
{
    auto help = Vfarc({ "--help" });
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("Usage: vfarc"), std::string::npos);
    auto version = Vfarc({ "--version" });
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_EQ(version.Out.rfind("vfarc ", 0), 0u);
    for (std::vector<std::string> bad : { std::vector<std::string>{}, { "frobnicate", "x" }, { "list" }, { "list", "a", "b" },
                                          { "cat", "a" }, { "create", "a.dat" }, { "create", "a.dat", "in", "--version", "100", "--store", "*.ogg" },
                                          { "create", "a.dat", "in", "--version", "0", "--store", "*" }, { "create", "a.dat", "in", "--level", "10" },
                                          { "create", "a.dat", "in", "--version", "102" }, { "merge", "a", "b", "--version", "0" },
                                          { "list", "a", "--piece-size", "0" }, { "list", "a", "--bogus" }, { "cat", "a", "b", "--json" },
                                          { "list", "a", "--piece-size" }, { "list", "a", "--piece-size=16k" },
                                          { "create", "a.dat", "in", "--level=x" },
                                          { "create", "a.dat", "in", "--version" }, { "extract", "a", "-o" }, { "merge", "a" },
                                          { "cat", "a", "b", "--hex-name", "62" } }) {
        auto r = Vfarc(bad);
        EXPECT_EQ(r.ExitCode, 2) << testing::PrintToString(bad) << r.Err;
        EXPECT_FALSE(r.Err.empty());
    }
}

TEST(Vfarc, ArgumentsThatLookLikeCommandsOrOptions)
{
    TempDir dir;
    test::WriteFile(dir / "game.dat", vftest::Build(101, { { "list", "L", 1 }, { "create", "C", 1 }, { "-x", "X", 1 } }));
    // An entry may be called like a command.
    auto r = Vfarc({ "cat", H(dir / "game.dat"), "list" });
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "L");
    TempDir out;
    r = Vfarc({ "extract", H(dir / "game.dat"), "-o", H(out.Path()), "create", "list" });
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(Tree(out.Path()), (StringList{ "create", "list" }));
    // After "--" nothing is an option; before it, a name with a dash is one.
    EXPECT_EQ(Vfarc({ "cat", H(dir / "game.dat"), "-x" }).ExitCode, 2);
    EXPECT_EQ(Vfarc({ "cat", H(dir / "game.dat"), "--", "-x" }).Out, "X");
    // Options of every command may come before it, and in either form.
    EXPECT_EQ(Vfarc({ "--piece-size=1024", "cat", H(dir / "game.dat"), "create" }).Out, "C");
    EXPECT_EQ(Vfarc({ "cat", "--piece-size", "1024", H(dir / "game.dat"), "--hex-name=637265617465" }).Out, "C");
}

TEST(Vfarc, ListAndCatOnAHandMadeArchive)
{
    TempDir dir;
    // "\xff" is no CP932 text: it is shown as hex.
    test::WriteFile(dir / "game.dat", vftest::Build(100, { { S(u8"背景\\bg01.gal"), vftest::Zlib("picture"), 0 },
                                                           { "\xff.bin", vftest::Zlib("odd"), 0 },
                                                           { "Same.txt", vftest::Zlib("first"), 0 },
                                                           { "SAME.TXT", vftest::Zlib("second"), 0 } }));
    auto r = Vfarc({ "list", "--json", H(dir / "game.dat") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    Json list = Json::parse(r.Out);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].at("name").get<std::string>(), "背景\\bg01.gal");
    EXPECT_EQ(list[1].at("name").at("hex").get<std::string>(), "ff2e62696e");
    int64_t firstData = 10 + (4 + 13) + (4 + 5) + (4 + 8) + (4 + 8) + 4 * 5;
    EXPECT_EQ(list[0].at("offset").get<int64_t>(), firstData);
    EXPECT_EQ(list[0].at("size").get<int64_t>(), static_cast<int64_t>(vftest::Zlib("picture").size()));
    EXPECT_EQ(list[0].at("stored").get<int64_t>(), 0);
    auto text = Vfarc({ "list", H(dir / "game.dat") });
    EXPECT_NE(text.Out.find("背景\\bg01.gal\n"), std::string::npos);

    EXPECT_EQ(Vfarc({ "cat", H(dir / "game.dat"), "背景\\BG01.GAL" }).Out, "picture");
    EXPECT_EQ(Vfarc({ "cat", H(dir / "game.dat"), "same.txt" }).Out, "second");
    EXPECT_EQ(Vfarc({ "cat", H(dir / "game.dat"), "--hex-name", "FF2E62696E" }).Out, "odd");
    auto missing = Vfarc({ "cat", H(dir / "game.dat"), "nope.txt" });
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_NE(missing.Err.find("nope.txt:ファイルがありません"), std::string::npos);
    auto empty = Vfarc({ "cat", H(dir / "game.dat"), "" });
    EXPECT_EQ(empty.ExitCode, 1);
    EXPECT_NE(empty.Err.find(":ファイルがありません"), std::string::npos);

    // Loose files win, and a directory serves them alone.
    test::WriteFile(dir / "same.txt", "loose");
    EXPECT_EQ(Vfarc({ "cat", H(dir / "game.dat"), "same.txt" }).Out, "loose");
    EXPECT_EQ(Vfarc({ "cat", H(dir.Path()), "same.txt" }).Out, "loose");
    auto dirList = Vfarc({ "list", "--json", H(dir.Path()) });
    EXPECT_EQ(dirList.ExitCode, 0);
    EXPECT_EQ(Json::parse(dirList.Out).size(), 0u);
    EXPECT_EQ(Vfarc({ "list", H(dir / "absent.dat") }).ExitCode, 1);
    test::WriteFile(dir / "cut.dat", vftest::Build(100, { { "a", "xyz", 0 } }).substr(0, 20));
    auto cut = Vfarc({ "list", H(dir / "cut.dat") });
    EXPECT_EQ(cut.ExitCode, 1);
    EXPECT_NE(cut.Err.find("アーカイブが壊れています"), std::string::npos);
}

// Names are the archive's to choose: listed for a person, a line break, a
// terminal's control sequence or a byte that is no character is written
// \xHH, so every entry stays on a line of its own. The JSON keeps names as
// they are.
TEST(Vfarc, ListShowsEveryNameOnOneLine)
{
    TempDir dir;
    AnsiString path = S(u8"ソフト\\x86.dat");
    test::WriteFile(dir / "game.dat", vftest::Build(101, { { "a\nforged 0 0 0 x", "A", 1 },
                                                           { "\x1b[2Jclear", "B", 1 },
                                                           { "\xff.bin", "C", 1 },
                                                           { path, "D", 1 } }));
    auto r = Vfarc({ "list", H(dir / "game.dat") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    // 6 bytes of header, the count, 4 + 16, 4 + 9, 4 + 5 and 4 + 14 bytes
    // of names, 5 offsets and 4 flags: the data starts at 94.
    EXPECT_EQ(r.Out, "        94          1 1 " R"(a\x0aforged 0 0 0 x)" "\n"
                     "        95          1 1 " R"(\x1b[2Jclear)" "\n"
                     "        96          1 1 " R"(\xff.bin)" "\n"
                     "        97          1 1 " R"(ソフト\\x86.dat)" "\n");
    Json list = Json::parse(Vfarc({ "list", "--json", H(dir / "game.dat") }).Out);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].at("name").get<std::string>(), "a\nforged 0 0 0 x");
    EXPECT_EQ(list[1].at("name").get<std::string>(), "\x1b[2Jclear");
    EXPECT_EQ(list[3].at("name").get<std::string>(), "ソフト\\x86.dat");
}

TEST(Vfarc, ExtractWritesOnlySafeNames)
{
    TempDir dir;
    test::WriteFile(dir / "game.dat", vftest::Build(101, { { "a.txt", "A", 1 },
                                                           { "dir\\b.txt", vftest::Zlib("B"), 0 },
                                                           { "..\\evil.txt", "E", 1 },
                                                           { "\\abs.txt", "E", 1 },
                                                           { "C:x.txt", "E", 1 },
                                                           { "ok/../../evil2.txt", "E", 1 },
                                                           { "dir\\.. \\evil3.txt", "E", 1 },
                                                           { "\xff.bin", "E", 1 },
                                                           { "Case.txt", "first", 1 },
                                                           { S(u8"ソフト\\表.txt"), "sjis", 1 },
                                                           { "CASE.TXT", "second", 1 } }));
    test::WriteFile(dir / "loose.txt", "not in the archive");
    AnsiString out = dir / "out\\";
    auto r = Vfarc({ "extract", H(dir / "game.dat"), "-o", H(out) });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("\"..\\\\evil.txt\""), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("{\"hex\":\"ff2e62696e\"}"), std::string::npos) << r.Err;
    EXPECT_EQ(Tree(out), (StringList{ "CASE.TXT", "a.txt", "dir/b.txt", S(u8"ソフト/表.txt") }));
    EXPECT_EQ(test::ReadFile(out + "CASE.TXT"), "second");
    EXPECT_EQ(test::ReadFile(out + "dir\\b.txt"), "B");
    EXPECT_EQ(Tree(dir.Path()).size(), 2u + 4u); // game.dat, loose.txt and out/: nothing escaped

    // Named entries only; an unknown name is reported after the others.
    AnsiString some = dir / "some\\";
    auto named = Vfarc({ "extract", H(dir / "game.dat"), "-o", H(some), "A.TXT", "missing" });
    EXPECT_EQ(named.ExitCode, 1);
    EXPECT_NE(named.Err.find("missing:ファイルがありません"), std::string::npos);
    EXPECT_EQ(Tree(some), StringList{ "a.txt" });
}

TEST(Vfarc, CreateOrdersTreesAndStoresByGlob)
{
    TempDir dir;
    AnsiString in = dir / "in\\";
    platform::ForceDirectories(in + "sub\\deeper");
    platform::ForceDirectories(in + "Z");
    test::WriteFile(in + "b.txt", "bee");
    test::WriteFile(in + "a.OGG", "ogg data");
    test::WriteFile(in + "_x", "under");
    test::WriteFile(in + "sub\\deeper\\d.txt", "deep");
    test::WriteFile(in + "sub\\c.ogg", "c ogg");
    test::WriteFile(in + "Z\\z", "zed");
    test::WriteFile(in + S(u8"表"), "hyo");
    test::WriteFile(dir / "single.bin", "single");
    auto r = Vfarc({ "create", H(dir / "new.dat"), "--level", "0", "--store", "*.ogg", H(in), H(dir / "single.bin") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    // Names sorted by their CP932 bytes in each directory, depth first.
    auto z = [](const char* s) { return vftest::Zlib(s, 0); };
    std::string expected = vftest::Build(101, { { "Z\\z", z("zed"), 0 },
                                                { "_x", z("under"), 0 },
                                                { "a.OGG", "ogg data", 1 },
                                                { "b.txt", z("bee"), 0 },
                                                { "sub\\c.ogg", "c ogg", 1 },
                                                { "sub\\deeper\\d.txt", z("deep"), 0 },
                                                { S(u8"表"), z("hyo"), 0 },
                                                { "single.bin", z("single"), 0 } });
    EXPECT_EQ(test::ReadFile(dir / "new.dat"), expected);
    EXPECT_FALSE(platform::FileExists(dir / "$$tinstwk.dat"));

    // Version 0 and 100, and in small pieces.
    ASSERT_EQ(Vfarc({ "create", H(dir / "v0.dat"), "--version", "0", "--level", "0", H(dir / "single.bin") }).ExitCode, 0);
    EXPECT_EQ(test::ReadFile(dir / "v0.dat"), vftest::Build(0, { { "single.bin", z("single"), 0 } }));
    ASSERT_EQ(Vfarc({ "create", H(dir / "p.dat"), "--version", "100", "--piece-size", "16", H(in) }).ExitCode, 0);
    EXPECT_TRUE(platform::FileExists(dir / "p.004"));
    EXPECT_EQ(Vfarc({ "cat", "--piece-size", "16", H(dir / "p.dat"), "sub\\deeper\\d.txt" }).Out, "deep");
    EXPECT_EQ(Vfarc({ "verify", "--piece-size", "16", H(dir / "p.dat") }).ExitCode, 0);
    EXPECT_EQ(Vfarc({ "create", H(dir / "x.dat"), H(dir / "none") }).ExitCode, 1);
}

TEST(Vfarc, CreateRefusesNamesCp932CannotHold)
{
    TempDir dir;
    AnsiString in = dir / "in\\";
    platform::ForceDirectories(in);
    test::WriteFile(platform::PathFromHost(H(in) + "caf\xC3\xA9.txt"), "x");
    auto r = Vfarc({ "create", H(dir / "x.dat"), H(in) });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("CP932"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(dir / "x.dat"));
}

TEST(Vfarc, AppendedArchives)
{
    TempDir dir;
    test::WriteFile(dir / "prog.exe", "MZ program bytes");
    test::WriteFile(dir / "title.gal", "title picture");
    ASSERT_EQ(Vfarc({ "create", "--appended", H(dir / "prog.exe"), H(dir / "title.gal") }).ExitCode, 0);
    std::string all = test::ReadFile(dir / "prog.exe");
    EXPECT_EQ(all.substr(0, 16), "MZ program bytes");
    EXPECT_EQ(all.substr(all.size() - 4), std::string("\x10\0\0\0", 4));
    EXPECT_EQ(Vfarc({ "cat", "--appended", H(dir / "prog.exe"), "title.gal" }).Out, "title picture");
    Json list = Json::parse(Vfarc({ "list", "--json", "--appended", H(dir / "prog.exe") }).Out);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_GT(list[0].at("offset").get<int64_t>(), 16);
    // Merged out of the program into a plain archive.
    ASSERT_EQ(Vfarc({ "merge", "--appended", H(dir / "game.dat"), H(dir / "prog.exe") }).ExitCode, 0);
    EXPECT_EQ(Vfarc({ "cat", H(dir / "game.dat"), "title.gal" }).Out, "title picture");
}

TEST(Vfarc, MergeIntoNewAndExistingTargets)
{
    TempDir dir;
    test::WriteFile(dir / "disc1.dat", vftest::Build(101, { { "a", "A", 1 }, { "b", vftest::Zlib("B"), 0 } }));
    test::WriteFile(dir / "disc2.dat", vftest::Build(100, { { "B", vftest::Zlib("other"), 0 }, { "c", vftest::Zlib("C"), 0 } }));
    AnsiString target = dir / "inst\\game.dat";
    platform::ForceDirectories(dir / "inst");
    ASSERT_EQ(Vfarc({ "merge", H(target), H(dir / "disc1.dat") }).ExitCode, 0);
    ASSERT_EQ(Vfarc({ "merge", H(target), H(dir / "disc2.dat") }).ExitCode, 0);
    EXPECT_EQ(test::ReadFile(target), vftest::Build(101, { { "a", "A", 1 }, { "b", vftest::Zlib("B"), 0 }, { "c", vftest::Zlib("C"), 0 } }));
    EXPECT_EQ(Tree(dir / "inst\\"), StringList{ "game.dat" });

    AnsiString old = dir / "old\\game.dat";
    platform::ForceDirectories(dir / "old");
    ASSERT_EQ(Vfarc({ "merge", "--version", "100", H(old), H(dir / "disc1.dat") }).ExitCode, 0);
    std::string expected = vftest::Build(101, { { "a", "A", 1 }, { "b", vftest::Zlib("B"), 0 } });
    expected[2] = 100;
    EXPECT_EQ(test::ReadFile(old), expected);
    EXPECT_EQ(Vfarc({ "merge", H(target), H(dir / "absent.dat") }).ExitCode, 1);
}

TEST(Vfarc, VerifyDescribesTheDamage)
{
    TempDir dir;
    std::string good = vftest::Build(101, { { "a", vftest::Zlib("alpha"), 0 }, { "b", "BBBB", 1 }, { "c", vftest::Zlib("gamma"), 0 } });
    test::WriteFile(dir / "good.dat", good);
    auto ok = Vfarc({ "verify", H(dir / "good.dat") });
    EXPECT_EQ(ok.ExitCode, 0) << ok.Out;
    EXPECT_NE(ok.Out.find("3 entries, version 101, no problems"), std::string::npos);

    // A bad Adler-32 in "a", and the offsets of "c" and the end scrambled
    // into decreasing and past-the-end values.
    std::string bad = good;
    size_t dataAt = 10 + 3 * 5 + 16 + 3;
    bad[dataAt + vftest::Zlib("alpha").size() - 1] ^= 1;
    vftest::Key key;
    std::string table;
    std::vector<int64_t> offsets = { static_cast<int64_t>(dataAt), static_cast<int64_t>(dataAt + vftest::Zlib("alpha").size()), 5, 100000 };
    for (int64_t o : offsets)
        vftest::PutI32(table, static_cast<uint32_t>(o) ^ key.Next());
    bad.replace(25, 16, table);
    test::WriteFile(dir / "bad.dat", bad);
    auto r = Vfarc({ "verify", "--json", H(dir / "bad.dat") });
    EXPECT_EQ(r.ExitCode, 1);
    Json report = Json::parse(r.Out);
    std::string all;
    for (const Json& p : report.at("problems"))
        all += p.get<std::string>() + "\n";
    EXPECT_NE(all.find("entry 0 (a): does not inflate: incorrect data check"), std::string::npos) << all;
    EXPECT_NE(all.find("entry 2 (c): offset 5 is below the previous entry's"), std::string::npos) << all;
    EXPECT_NE(all.find("entry 3 (\\EOF\\): offset 100000 lies outside the stream"), std::string::npos) << all;

    test::WriteFile(dir / "cut.dat", good.substr(0, 20));
    auto cut = Vfarc({ "verify", H(dir / "cut.dat") });
    EXPECT_EQ(cut.ExitCode, 1);
    EXPECT_NE(cut.Out.find("ディレクトリが途中で切れています"), std::string::npos) << cut.Out;
}

} // namespace
