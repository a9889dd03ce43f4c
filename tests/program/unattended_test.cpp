// Installs and removals without a person: the installer program started
// with --silent or --very-silent and no standard input, on disc sets built
// by the test, checked by what it leaves, what it prints, its log and its
// exit status.
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

DiscContent First()
{
    DiscContent d;
    d.Files = { { "game.exe", "MZ the game" }, { "install.exe", "MZ the installer" }, { "readme.txt", "read me" },
                { "bgm\\title.mid", "MThd title" }, { "movie\\op.mpg", "opening" } };
    d.Entries = { { "scenario\\one.txt", "first" } };
    return d;
}

DiscContent Second()
{
    DiscContent d;
    d.Files = { { "manual\\manual.html", "<p>manual</p>" }, { "voice\\a.wav", "RIFF voice" } };
    d.Entries = { { "scenario\\two.txt", "second" } };
    return d;
}

class Unattended : public ::testing::Test {
protected:
    // A title for each test: on Windows the program groups of one test stay
    // in the Start menu for the next.
    Unattended() : set(S(u8"無人のゲーム") + std::to_string(++count), { First(), Second() }) { }
    static inline int count = 0;

    platform::ProcessResult Run(std::vector<std::string> args)
    {
        platform::ProcessResult r = platform::RunProcess(test::SetupProgramPath(), args);
        return r;
    }
    AnsiString Dest() const { return dest / S(u8"無人 のゲーム"); }
    AnsiString T() const { return AddBackslash(Dest()); }
    std::string Log() const { return test::ReadFile(logDir / "run.log"); }
    std::string LogArg() const { return Host(logDir / "run.log"); }
    AnsiString Recorded() const { return set.Description(0).ReadRegString("InstallPath", "none"); }

    // No trace of an installation: the description, the registry value, the menu.
    void ExpectNothingClaimed()
    {
        EXPECT_FALSE(platform::FileExists(T() + "install.dat"));
        EXPECT_EQ(Recorded(), "none");
        EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
    }
    void ExpectInstalled(bool withDiscTwo)
    {
        for (const char* f : { "game.exe", "install.exe", "readme.txt", "install.dat" })
            EXPECT_TRUE(platform::FileExists(T() + f)) << f;
        EXPECT_EQ(platform::FileExists(T() + "manual\\manual.html"), withDiscTwo);
        TTarnInstallSet installed;
        installed.LoadFromFile(T() + "install.dat");
        EXPECT_EQ(installed.Installed, 1);
        EXPECT_EQ(Recorded(), T());
    }

    DiscSet set;
    TempDir dest, logDir;
};

TEST_F(Unattended, TwoDiscsFoundBesideEachOtherWithEveryComponentAndALog)
{
    StringList discBefore = test::TreeOf(set.Disc(0));
    auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--components", "all", "--log", LogArg() });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    ExpectInstalled(true);
    for (const char* f : { "bgm\\title.mid", "movie\\op.mpg", "voice\\a.wav", "game.dat" })
        EXPECT_TRUE(platform::FileExists(T() + f)) << f;
    // The source is never written.
    EXPECT_EQ(test::TreeOf(set.Disc(0)), discBefore);
#ifndef _WIN32
    EXPECT_EQ(test::MenuFiles().size(), 4u); // the game, the uninstaller, the submenu and its directory entry
#else
    EXPECT_EQ(test::GroupFiles(set.Title()).size(), 2u); // the game and the uninstaller
#endif
    // Progress, one line per step when standard error is no terminal.
    EXPECT_NE(r.Err.find("% readme.txt をコピー中...\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("installed into " + Host(T())), std::string::npos) << r.Err;

    std::string log = Log();
    EXPECT_EQ(log.rfind("20", 0), 0u) << log; // every line starts with the local time
    for (const std::string& line : std::vector<std::string>{ "option --silent\n", "option --components all\n", "option --dir " + Host(Dest()) + "\n",
           "disc 1 in " + Host(set.Disc(0)) + "\n", "disc 2 in " + Host(set.Disc(1)) + " (looked at: " + Host(set.Disc(0)),
           "copied " + Host(set.Disc(0) + "readme.txt") + " to " + Host(T() + "readme.txt") + " (7 bytes)\n",
           "merged game.dat of disc 1: 1 entries, 1 new; the destination's game.dat had 0, now 1\n",
           "merged game.dat of disc 2: 1 entries, 1 new; the destination's game.dat had 1, now 2\n",
           "registry: HKEY_CURRENT_USER\\Software\\" + set.RegistryKey() + " InstallPath = " + AnsiToHostUtf8(T()) + "\n",
           "outcome: done, exit status 0\n" })
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n---\n" << log;
    EXPECT_NE(log.find("program manager: [CreateGroup(" + AnsiToHostUtf8(set.Title()) + ")]\n"), std::string::npos) << log;
}

TEST_F(Unattended, TheSecondDiscFromTheCommandLine)
{
    // Disc 2 lies elsewhere, not beside disc 1.
    TempDir elsewhere;
    AnsiString moved = elsewhere / "second";
    ASSERT_TRUE(platform::RenameFile(ExcludeTrailingBackslash(set.Disc(1)), moved));
    auto r = Run({ "--very-silent", "--source", Host(set.Disc(0)), "--dir", Host(Dest()), "--disc", "2=" + Host(moved),
                   "--log", LogArg() });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, ""); // very silent: nothing but errors
    ExpectInstalled(true);
    EXPECT_NE(Log().find("disc 2 in " + Host(AddBackslash(moved))), std::string::npos) << Log();
}

TEST_F(Unattended, ADiscFoundNowhereAbortsWithStatusFive)
{
    test::RemoveTree(set.Disc(1));
    StringList discBefore = test::TreeOf(set.Disc(0));
    auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--components", "data", "--log", LogArg() });
    EXPECT_EQ(r.ExitCode, 5) << r.Err;
    EXPECT_NE(r.Err.find("ディスク2が見つかりません (looked at: " + Host(set.Disc(0))), std::string::npos) << r.Err;
    ExpectNothingClaimed();
    EXPECT_EQ(test::TreeOf(set.Disc(0)), discBefore);
    EXPECT_NE(Log().find("outcome: aborted, exit status 5\n"), std::string::npos) << Log();
    // Disc 1's copies went too: the destination was new.
    EXPECT_FALSE(platform::DirectoryExists(Dest()));
    EXPECT_NE(Log().find("undone: removed "), std::string::npos) << Log();
    // With this disc alone there is nothing to look for.
    auto one = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc" });
    EXPECT_EQ(one.ExitCode, 0) << one.Err;
    ExpectInstalled(false);
}

TEST_F(Unattended, ComponentsAndThisDisc)
{
    auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc", "--components", "sound" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    ExpectInstalled(false);
    EXPECT_TRUE(platform::FileExists(T() + "bgm\\title.mid"));
    EXPECT_FALSE(platform::FileExists(T() + "movie\\op.mpg"));
    EXPECT_FALSE(platform::FileExists(T() + "game.dat")); // no data chosen
    // By default everything the disc holds, as Next on every page gives: a
    // game that starts without its disc.
    TempDir other;
    auto plain = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(other / "game"), "--this-disc" });
    ASSERT_EQ(plain.ExitCode, 0) << plain.Err;
    EXPECT_EQ(test::TreeOf(other / "game"),
              (StringList{ "bgm\\title.mid", "game.dat", "game.exe", "install.dat", "install.exe", "movie\\op.mpg", "readme.txt" }));
    // Asked for, the program alone.
    TempDir bare;
    auto none = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(bare / "game"), "--this-disc", "--components", "none" });
    ASSERT_EQ(none.ExitCode, 0) << none.Err;
    EXPECT_EQ(test::TreeOf(bare / "game"), (StringList{ "game.exe", "install.dat", "install.exe", "readme.txt" }));
}

TEST_F(Unattended, ACopyFailureEndsWithStatusOneAndNamesTheFile)
{
    // A folder where the read-me should go cannot be copied over.
    platform::ForceDirectories(T() + "readme.txt");
    auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--dir-not-empty-ok", "--log", LogArg() });
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    // What, where to, and what the system said.
    EXPECT_NE(r.Err.find("readme.txt をコピーできませんでした: " + Host(T() + "readme.txt") + ": "), std::string::npos) << r.Err;
    ExpectNothingClaimed();
    EXPECT_NE(Log().find("error: could not copy " + Host(set.Disc(0) + "readme.txt")), std::string::npos) << Log();
    EXPECT_NE(Log().find("-> いいえ(N)\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("outcome: failed, exit status 1\n"), std::string::npos) << Log();
}

TEST_F(Unattended, ADestinationThatCannotBeMadeEndsWithStatusOne)
{
    test::WriteFile(dest / "plain-file", "a file, not a folder");
    auto r = Run({ "--very-silent", Host(set.Disc(0)), "--dir", Host(dest / "plain-file\\game") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("ディレクトリを作成できませんでした"), std::string::npos) << r.Err;
    EXPECT_EQ(Recorded(), "none");
}

TEST_F(Unattended, ADescriptionThatCannotBeWrittenEndsWithStatusOne)
{
    // A folder in the description's place: the error ends the run after
    // every file was copied; the folder was in use, so the copies stay.
    platform::ForceDirectories(T() + "install.dat");
    auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc", "--dir-not-empty-ok", "--log", LogArg() });
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    EXPECT_NE(r.Err.find("install.dat"), std::string::npos) << r.Err;
    EXPECT_TRUE(platform::FileExists(T() + "game.exe"));
    EXPECT_EQ(Recorded(), "none");
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
    EXPECT_NE(Log().find("error: "), std::string::npos) << Log();
    EXPECT_NE(Log().find("outcome: failed, exit status 1\n"), std::string::npos) << Log();
}

TEST_F(Unattended, AReinstallCopiesOnlyWhatChanged)
{
    ASSERT_EQ(Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc" }).ExitCode, 0);
    test::WriteFile(set.Disc(0) + "readme.txt", "read me again");
    auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc", "--log", LogArg() });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(test::ReadFile(T() + "readme.txt"), "read me again");
    std::string log = Log();
    // What the installation's record knows is read again and kept.
    EXPECT_NE(log.find("found complete " + Host(T() + "game.exe") + " (11 bytes): read again, kept\n"), std::string::npos) << log;
    EXPECT_NE(log.find("found complete: "), std::string::npos) << log;
    EXPECT_NE(log.find("copied " + Host(set.Disc(0) + "readme.txt")), std::string::npos) << log;
}

TEST_F(Unattended, RemovalKeepsTheSaveDataUnlessAskedAndTellsWhatItRemoved)
{
    ASSERT_EQ(Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc" }).ExitCode, 0);
    test::WriteFile(T() + "save.dat", "progress");
    // The installation itself as DIR: a removal, --uninstall or not.
    auto r = Run({ "--silent", "--uninstall", Host(Dest()), "--log", LogArg() });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(test::TreeOf(Dest()), StringList{ "save.dat" });
    EXPECT_EQ(Recorded(), "none");
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
    std::string log = Log();
    std::vector<std::string> lines = { "save.dat: kept\n", "removing " + Host(T() + "game.exe") + "\n",
                                       "registry: deleted HKEY_CURRENT_USER\\Software\\" + set.RegistryKey() + "\n",
                                       "outcome: done, exit status 0\n" };
    lines.push_back("program manager: [DeleteGroup(" + AnsiToHostUtf8(set.Title()) + ")]\n");
    for (const std::string& line : lines)
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n---\n" << log;
    EXPECT_EQ(log.find("removing " + Host(T() + "save.dat")), std::string::npos) << log;

    // Again, from the disc, over the save data the game left: the
    // installation goes whole with it.
    ASSERT_EQ(Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc", "--dir-not-empty-ok" }).ExitCode, 0);
    auto all = Run({ "--very-silent", "--uninstall", Host(set.Disc(0)), "--delete-save" });
    ASSERT_EQ(all.ExitCode, 0) << all.Err;
    EXPECT_EQ(all.Err, "");
    EXPECT_FALSE(platform::DirectoryExists(Dest()));
    EXPECT_TRUE(platform::FileExists(set.Disc(0) + "install.dat")); // the disc stays

    // Nothing installed any more: nothing to remove.
    auto none = Run({ "--very-silent", "--uninstall", Host(set.Disc(0)) });
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_NE(none.Err.find("はインストールされていません"), std::string::npos) << none.Err;
}

TEST_F(Unattended, NoShortcutsMakesAndRemovesNoGroup)
{
    auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc", "--no-shortcuts", "--log", LogArg() });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(Log().find("program manager:"), std::string::npos) << Log();
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
    ASSERT_EQ(Run({ "--silent", "--uninstall", Host(Dest()), "--no-shortcuts", "--log", LogArg() }).ExitCode, 0);
    EXPECT_EQ(Log().find("program manager:"), std::string::npos) << Log();
    EXPECT_FALSE(platform::FileExists(T() + "game.exe"));
}

TEST_F(Unattended, WrongUsageExitsWithStatusTwo)
{
    const std::string disc1 = Host(set.Disc(0)), disc2 = Host(set.Disc(1));
    const std::vector<std::vector<std::string>> wrong = {
        { "--dir", "x", disc1 },                          // without --silent
        { "--uninstall", disc1 },
        { "--log", "x.log", disc1 },
        { "--silent", "--very-silent", disc1 },
        { "--silent", "--components", "data,pictures", disc1 },
        { "--silent", "--all-discs", "--this-disc", disc1 },
        { "--silent", "--all-discs", disc2 },            // all discs start on disc 1
        { "--silent", "--disc", "0=" + disc2, disc1 },
        { "--silent", "--source", disc1, disc1 },
        { "--silent", "--dir" },
    };
    for (const auto& args : wrong) {
        auto r = Run(args);
        std::string shown;
        for (const std::string& a : args)
            shown += a + " ";
        EXPECT_EQ(r.ExitCode, 2) << shown << r.Err;
        EXPECT_NE(r.Err.find("tarn-setup"), std::string::npos) << shown << r.Err;
    }
    ExpectNothingClaimed();
    // A directory without a description is a failure, not wrong usage.
    TempDir empty;
    auto none = Run({ "--silent", Host(empty.Path()) });
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_NE(none.Err.find("install.dat"), std::string::npos) << none.Err;
    // Every option is documented.
    auto help = Run({ "--help" });
    EXPECT_EQ(help.ExitCode, 0);
    for (const char* option : { "--silent", "--very-silent", "--source", "--dir", "--components", "--all-discs", "--this-disc",
                                "--disc", "--no-shortcuts", "--uninstall", "--delete-save", "--log", "Examples:" })
        EXPECT_NE(help.Out.find(option), std::string::npos) << option;
}

#ifndef _WIN32

// A disc's file name with a line end and a terminal's control sequence in
// it: the log and standard error show the bytes escaped, every line of the
// log is one of the run's.
TEST_F(Unattended, NamesFromTheDiscCannotForgeLogLinesOrSteerTheTerminal)
{
    test::WriteFile(set.Disc(0) + "bgm\\x\n2026-01-01 00:00:00 error: forged\x1b[2J.mid", "MThd");
    auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--components", "all", "--log", LogArg() });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_TRUE(platform::FileExists(T() + "bgm\\x\n2026-01-01 00:00:00 error: forged\x1b[2J.mid"));
    std::string log = Log();
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.Err.find('\x1b'), std::string::npos);
    EXPECT_NE(log.find("x\\x0a2026-01-01 00:00:00 error: forged\\x1b[2J.mid"), std::string::npos) << log;
    size_t lines = 0;
    for (size_t at = 0; at < log.size(); at = log.find('\n', at) + 1, ++lines)
        EXPECT_EQ(log.compare(at, 2, "20"), 0) << log.substr(at, 60);
    EXPECT_GT(lines, 5u);
}

#endif

#ifndef _WIN32
// Where the game will lack what it needs to run (here wine and the fonts,
// hidden from PATH), the install still completes and says so in its log.
TEST_F(Unattended, WhatTheGameWillLackIsSaidAtTheEnd)
{
    std::vector<std::string> args = { "PATH=/nonexistent", Host(test::SetupProgramPath()), "--silent", Host(set.Disc(0)),
                                      "--dir", Host(Dest()), "--this-disc", "--log", LogArg() };
    auto r = platform::RunProcess("/usr/bin/env", args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Err.find("warning: wine が見つかりません。ゲームを起動できません。パッケージ wine をインストールしてください。"), std::string::npos)
        << r.Err;
    EXPECT_NE(Log().find("wanting: 日本語のフォントが見つかりません。"), std::string::npos) << Log();
    EXPECT_NE(Log().find("fonts-ipafont-gothic"), std::string::npos) << Log();
    EXPECT_NE(Log().find("outcome: done, exit status 0\n"), std::string::npos) << Log();
    // With them there, nothing is said.
    auto again = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(Dest()), "--this-disc" });
    EXPECT_EQ(again.ExitCode, 0) << again.Err;
    EXPECT_EQ(again.Err.find("wine が見つかりません"), std::string::npos) << again.Err;
}
#endif

} // namespace
