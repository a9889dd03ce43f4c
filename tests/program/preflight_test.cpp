// tarn-setup --check as a person runs it before installing: the table and
// its JSON, on machines with and without a Japanese locale, and a
// destination the person cannot write.
#ifndef _WIN32
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "../wizard/wizard_fixture.h"
#include "base/codepage.h"
#include "base/path.h"

using namespace tarn;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }

DiscContent Game()
{
    DiscContent d;
    d.Files = { { "game.exe", "MZ the game" }, { "install.exe", "MZ the installer" }, { "bgm\\title.mid", std::string(300000, 'm') } };
    d.Entries = { { "scenario\\one.txt", "first" } };
    return d;
}

// The checks of a JSON answer by name.
std::map<std::string, nlohmann::json> ChecksOf(const std::string& out)
{
    std::map<std::string, nlohmann::json> checks;
    const nlohmann::json all = nlohmann::json::parse(out);
    for (const nlohmann::json& c : all["checks"])
        checks[c["check"].get<std::string>()] = c;
    return checks;
}

class Preflight : public ::testing::Test {
protected:
    Preflight() : set(S(u8"事前の確認") + test::RunId(), { Game() }) { set.DefaultDir = "<ProgramFiles>\\Yuzuriha\\Check"; set.Write(0, 0); }

    // tarn-setup with env in front (VAR=VALUE...), through env(1).
    platform::ProcessResult Run(std::vector<std::string> env, std::vector<std::string> args)
    {
        env.push_back(Host(test::SetupProgramPath()));
        env.insert(env.end(), args.begin(), args.end());
        return platform::RunProcess("/usr/bin/env", env);
    }

    DiscSet set;
};

TEST_F(Preflight, TheLocaleAsTheSystemTheProgramOrNobodyHasIt)
{
    TempDir empty, made;
    // A system without it (LOCPATH hides the machine's own): the locale sources make one at the first start.
    auto none = Run({ "LOCPATH=" + Host(empty.Path()) }, { "--check", "--json" });
    auto checks = ChecksOf(none.Out);
    ASSERT_TRUE(checks.count("Japanese locale")) << none.Out;
    EXPECT_EQ(checks["Japanese locale"]["verdict"], "fine");
    EXPECT_NE(checks["Japanese locale"]["detail"].get<std::string>().find("made from the system's locale sources"), std::string::npos)
        << none.Out;
    // One there: the system's, as the C library finds it.
    std::string dir = Host(made.Path());
    TARN_REQUIRE_TOOL("localedef");
    auto localedef = platform::RunProcess(Host(test::ToolPath("localedef")), { "-i", "ja_JP", "-f", "UTF-8", dir + "ja_JP.UTF-8" });
    ASSERT_EQ(localedef.ExitCode, 0) << localedef.Err;
    auto some = Run({ "LOCPATH=" + dir }, { "--check", "--json" });
    checks = ChecksOf(some.Out);
    EXPECT_EQ(checks["Japanese locale"]["detail"], "ja_JP.UTF-8 of the system") << some.Out;
    // The fonts this machine has (the build's own needs them too).
    EXPECT_EQ(checks["Japanese fonts"]["verdict"], "fine") << some.Out;
    EXPECT_NE(checks["Japanese fonts"]["detail"].get<std::string>().find("IPA"), std::string::npos) << some.Out;
    EXPECT_TRUE(checks.count("wine")) << some.Out;
    EXPECT_TRUE(checks.count("menu folders")) << some.Out;
    EXPECT_EQ(some.ExitCode, 0) << some.Out;
}

TEST_F(Preflight, TheDiscsDestinationItsSpaceAndTheTable)
{
    auto r = Run({}, { "--check", "--json", Host(set.Disc(0)) });
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    auto checks = ChecksOf(r.Out);
    EXPECT_EQ(checks["disc"]["detail"], AnsiToHostUtf8(set.Title()) + ", disc 1 of 1, " + Host(set.Disc(0)).substr(0, Host(set.Disc(0)).size() - 1))
        << r.Out;
    // A host path, written out: the person's ~/Games.
    EXPECT_EQ(checks["destination"]["detail"], platform::GetEnv("HOME") + "/Games/Yuzuriha/Check") << r.Out;
    EXPECT_EQ(checks["free space"]["verdict"], "fine");
    EXPECT_NE(checks["free space"]["detail"].get<std::string>().find("MB needed"), std::string::npos) << r.Out;
    EXPECT_EQ(checks["destination writable"]["verdict"], "fine");
    EXPECT_EQ(checks["trash"]["verdict"], "fine") << r.Out;
    // The same as a table, through the disc's install.dat.
    auto table = Run({}, { "--check", Host(set.Disc(0) + "install.dat") });
    EXPECT_EQ(table.ExitCode, 0);
    EXPECT_NE(table.Out.find("destination           fine     " + platform::GetEnv("HOME") + "/Games/Yuzuriha/Check\n"), std::string::npos)
        << table.Out;
    EXPECT_NE(table.Out.find("Nothing blocks an install"), std::string::npos) << table.Out;
}

TEST_F(Preflight, ADestinationThePersonCannotWriteBlocks)
{
    TARN_REQUIRE_TOOL("setpriv");
    // A home the person cannot write in (root's, to somebody else).
    std::string root = "/tmp/tarn-check-" + test::RunId() + "-" + std::to_string(::getpid());
    struct Cleanup {
        std::string dir;
        ~Cleanup() { platform::RunProcess("/bin/rm", { "-rf", dir }); }
    } cleanup{ root };
    ASSERT_EQ(platform::RunProcess("/bin/sh", { "-c", "mkdir -p '" + root + "/home' && chmod 0755 '" + root + "' '" + root + "/home'" }).ExitCode, 0);
    std::vector<std::string> as;
    if (::geteuid() == 0)
        as = { "/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" };
    else
        GTEST_SKIP() << "needs root to give the home to somebody else";
    as.insert(as.end(), { "/usr/bin/env", "HOME=" + root + "/home", "XDG_DATA_HOME=" + root + "/home/.local/share",
                          "XDG_CONFIG_HOME=" + root + "/home/.config", "XDG_RUNTIME_DIR=", Host(test::SetupProgramPath()), "--check",
                          Host(set.Disc(0)) });
    // The disc must be readable by that person.
    ASSERT_EQ(platform::RunProcess("/bin/chmod", { "-R", "a+rX", Host(set.Disc(0)) }).ExitCode, 0);
    for (std::string dir = Host(set.Disc(0)); dir.size() > 1; dir = dir.substr(0, dir.find_last_of('/', dir.size() - 2) + 1))
        platform::RunProcess("/bin/chmod", { "a+x", dir });
    auto r = platform::RunProcess(as[0], std::vector<std::string>(as.begin() + 1, as.end()));
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
    EXPECT_NE(r.Out.find("destination writable  blocks   " + root + "/home cannot be written\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("An install would fail"), std::string::npos) << r.Out;
}

} // namespace
#endif
