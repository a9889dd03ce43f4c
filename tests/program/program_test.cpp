// The installer program itself, driven through a pipe with the console windows.
#include <nlohmann/json.hpp>

#include "../app/app_fixture.h"
#include "base/codepage.h"
#include "base/path.h"

using namespace tarn;
using tarn::test::DiscSpec;
using tarn::test::TempDir;

namespace {

platform::ProcessResult Launch(std::vector<std::string> args, std::string_view input = {})
{
    return platform::RunProcess(test::SetupProgramPath(), args, input);
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A title of its own: under Wine every test program shares the mutex
        // namespace, and another program holding this title would make the
        // installer end silently.
        DiscSpec own;
        own.Title = test::S(u8"パイプのゲーム");
        test::MakeDisc(disc.Path(), own);
        platform::RemoveFile(AddBackslash(platform::TempDirectory()) + "$$tinstall.exe");
    }
    std::string Disc() const { return platform::DisplayPath(disc.Path()); }
    TempDir disc;
};

TEST_F(ProgramRun, ConsoleLauncherInstallChoice)
{
    auto r = Launch({ "--ui=console", "--print-launch", "--source", Disc() }, "btnInstall\n");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    // The menu as the console shows it: caption, then the visible buttons.
    EXPECT_NE(r.Out.find("\nパイプのゲーム\n[1-] ゲームスタート\n[2] インストール\n[5] 終了\n"), std::string::npos) << r.Out;
    size_t json = r.Out.rfind('{');
    ASSERT_NE(json, std::string::npos);
    nlohmann::json launch = nlohmann::json::parse(r.Out.substr(json));
    EXPECT_EQ(launch.at("file").get<std::string>(), AnsiToHostUtf8(AddBackslash(platform::TempDirectory()) + "$$tinstall.exe"));
    // The windows chosen go along to the copy.
    EXPECT_EQ(launch.at("params").get<std::string>(), "\"" + AnsiToHostUtf8(disc.Path()) + "\" --ui=console");
    EXPECT_TRUE(platform::FileExists(AddBackslash(platform::TempDirectory()) + "$$tinstall.exe"));
}

TEST_F(ProgramRun, RelativeSourceIsHandedOnAbsolute)
{
    // The temporary copy starts elsewhere: a relative directory would name nothing there.
    AnsiString parent = ExtractFilePath(ExcludeTrailingBackslash(disc.Path()));
    AnsiString name = ExtractFileName(ExcludeTrailingBackslash(disc.Path()));
    AnsiString before = platform::CurrentDirectory();
    ASSERT_TRUE(platform::ChangeDirectory(parent));
    auto r = Launch({ "--ui=console", "--print-launch", "--source", AnsiToHostUtf8(name) }, "インストール\n");
    platform::ChangeDirectory(before);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    size_t json = r.Out.rfind('{');
    ASSERT_NE(json, std::string::npos) << r.Out;
    nlohmann::json launch = nlohmann::json::parse(r.Out.substr(json));
    EXPECT_EQ(launch.at("params").get<std::string>(), "\"" + AnsiToHostUtf8(disc.Path()) + "\" --ui=console");
}

TEST_F(ProgramRun, ExitAndEndOfInputStartNothing)
{
    auto exit = Launch({ "--ui=console", "--print-launch", "--source", Disc() }, "終了\n");
    EXPECT_EQ(exit.ExitCode, 0);
    EXPECT_EQ(exit.Out.find('{'), std::string::npos);
    auto eof = Launch({ "--ui=console", "--print-launch", "--source", Disc() });
    EXPECT_EQ(eof.ExitCode, 0);
    EXPECT_NE(eof.Out.find("[2] インストール"), std::string::npos);
    EXPECT_EQ(eof.Out.find('{'), std::string::npos);
}

TEST_F(ProgramRun, InstallerRoleWithTheArgument)
{
    // The backdrop until the wizard: closed by the end of input.
    auto r = Launch({ "--ui=console", "--print-launch", Disc() });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("パイプのゲームのセットアップ\n(C) スタジオ \n"), std::string::npos) << r.Out;
    // A directory without install.dat: nothing at all.
    TempDir empty;
    auto none = Launch({ "--ui=console", "--print-launch", platform::DisplayPath(empty.Path()) });
    EXPECT_EQ(none.ExitCode, 0);
    EXPECT_EQ(none.Out, "");
}

TEST_F(ProgramRun, OptionsAndUsage)
{
    auto help = Launch({ "--help" });
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("--source DIR"), std::string::npos);
    EXPECT_NE(help.Out.find("--print-launch"), std::string::npos);
    EXPECT_NE(help.Out.find("--ui="), std::string::npos);
    EXPECT_EQ(Launch({ "--version" }).ExitCode, 0);
    auto wrong = Launch({ "--frobnicate" });
    EXPECT_EQ(wrong.ExitCode, 2);
    EXPECT_NE(wrong.Err.find("--frobnicate"), std::string::npos);
    EXPECT_EQ(Launch({ "--ui=paper", Disc() }).ExitCode, 2);
}

} // namespace
