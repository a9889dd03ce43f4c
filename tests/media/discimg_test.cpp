// discimg as a person uses it: what an image is, what it holds, and its
// files written out with names that stay inside the folder.
#include "base/path.h"
#include "iso_builder.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "common/tool_json.h"

namespace tarn {
namespace {

using test::S;
using test::TempDir;
using namespace isotest;

std::string HostOf(const AnsiString& path)
{
    std::string host;
    EXPECT_TRUE(platform::HostPath(path, host));
    return host;
}

platform::ProcessResult Discimg(const std::vector<std::string>& args) { return platform::RunProcess(test::ProgramPath("discimg"), args); }

// A primary-only image: OK.TXT (5 bytes) at sector 20 and a file whose name
// holds a drive colon, which no folder may take.
std::string HostileImage()
{
    std::vector<Rec> records = { Rec("OK.TXT;1", 20, 5), Rec("C:EVIL.TXT;1", 21, 4) };
    uint32_t dirBytes = DirectoryBytes(records);
    Image image;
    image.Put(16, Descriptor(1, Rec(std::string(1, '\0'), 18, dirBytes, kDir), 22, "HOSTILE"));
    image.Put(17, Terminator());
    image.Put(18, Directory(18, 18, dirBytes, records));
    image.Put(20, "hello");
    image.Put(21, std::string(2048, '\0').replace(0, 4, "evil"));
    return image.Bytes();
}

TEST(Discimg, ExtractKeepsEveryNameInsideTheFolder)
{
    TempDir tmp;
    test::WriteFile(tmp / "hostile.iso", HostileImage());
    auto r = Discimg({ "extract", HostOf(tmp / "hostile.iso"), HostOf(tmp / "out") });
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    EXPECT_NE(r.Err.find("C:EVIL.TXT"), std::string::npos) << r.Err;
    EXPECT_EQ(test::TreeOf(tmp / "out"), StringList{ "OK.TXT" });
    EXPECT_EQ(test::ReadFile(tmp / "out\\OK.TXT"), "hello");
    EXPECT_EQ(test::TreeOf(tmp.Path()), (StringList{ "hostile.iso", "out\\OK.TXT" }));

    auto ls = Discimg({ "ls", HostOf(tmp / "hostile.iso"), "--json" });
    ASSERT_EQ(ls.ExitCode, 0) << ls.Err;
    tools::Json list = tools::ParseJson(ls.Out);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["name"], "OK.TXT");
    EXPECT_EQ(list[0]["size"], 5);
    EXPECT_EQ(list[0]["directory"], false);

    // Not an image at all, and a path the image does not hold.
    test::WriteFile(tmp / "text.iso", "just text");
    auto bad = Discimg({ "info", HostOf(tmp / "text.iso") });
    EXPECT_EQ(bad.ExitCode, 1);
    EXPECT_NE(bad.Err.find("text.iso"), std::string::npos) << bad.Err;
    EXPECT_EQ(Discimg({ "ls", HostOf(tmp / "hostile.iso"), "NOPE" }).ExitCode, 1);
    EXPECT_EQ(Discimg({ "frobnicate" }).ExitCode, 2);
}

#ifndef _WIN32
TEST(Discimg, AToolsImageAsTheInstallerSeesIt)
{
    TARN_REQUIRE_TOOL("xorriso");
    TempDir tmp;
    AnsiString src = tmp / "src";
    ASSERT_TRUE(platform::ForceDirectories(src + S(u8"\\音楽")));
    test::WriteFile(src + S(u8"\\音楽\\テーマ曲.wav"), std::string(5000, 'w'));
    test::WriteFile(src + "\\install.dat", "description");
    auto made = platform::RunProcess(test::ToolPath("xorriso"), { "-as", "mkisofs", "-quiet", "-J", "-joliet-long", "-R", "-V", "GAME_DISC1",
                                                                  "-o", HostOf(tmp / "d.iso"), HostOf(src) });
    ASSERT_EQ(made.ExitCode, 0) << made.Err;

    auto info = Discimg({ "info", "--json", HostOf(tmp / "d.iso") });
    ASSERT_EQ(info.ExitCode, 0) << info.Err;
    tools::Json j = tools::ParseJson(info.Out);
    EXPECT_EQ(j["container"], "iso");
    EXPECT_EQ(j["sectorFormat"], "MODE1/2048");
    EXPECT_EQ(j["names"], "joliet");
    EXPECT_EQ(j["joliet"], true);
    EXPECT_EQ(j["rockRidge"], true);
    EXPECT_EQ(j["volumeId"], "GAME_DISC1");
    EXPECT_EQ(j["size"].get<int64_t>() % 2048, 0);

    auto ls = Discimg({ "ls", HostOf(tmp / "d.iso") });
    ASSERT_EQ(ls.ExitCode, 0) << ls.Err;
    EXPECT_NE(ls.Out.find("        5000 "), std::string::npos) << ls.Out;
    EXPECT_NE(ls.Out.find(" 音楽\\テーマ曲.wav\n"), std::string::npos) << ls.Out;
    EXPECT_NE(ls.Out.find(" 音楽\\\n"), std::string::npos) << ls.Out;

    // One folder of it, then all of it: the same bytes as the files it was made of.
    ASSERT_EQ(Discimg({ "extract", HostOf(tmp / "d.iso"), HostOf(tmp / "part"), "音楽" }).ExitCode, 0);
    EXPECT_EQ(test::TreeOf(tmp / "part"), StringList{ S(u8"音楽\\テーマ曲.wav") });
    ASSERT_EQ(Discimg({ "extract", HostOf(tmp / "d.iso"), HostOf(tmp / "all") }).ExitCode, 0);
    EXPECT_EQ(test::TreeOf(tmp / "all"), test::TreeOf(src));
    EXPECT_EQ(test::ReadFile(tmp / S(u8"all\\音楽\\テーマ曲.wav")), std::string(5000, 'w'));
    EXPECT_EQ(platform::FileDosDateTime(tmp / "all\\install.dat"), platform::FileDosDateTime(src + "\\install.dat"));
}
#endif

} // namespace
} // namespace tarn
