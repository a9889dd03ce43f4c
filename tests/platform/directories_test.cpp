// Drive letters, the current directory and each drive's last one.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::CurrentDirectoryGuard;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

TEST(Drives, LettersAreUpperCaseSortedAndHoldTheTemporaryDrive)
{
    std::string letters = platform::DriveLetters();
    ASSERT_FALSE(letters.empty());
    for (size_t i = 0; i < letters.size(); ++i) {
        EXPECT_TRUE(letters[i] >= 'A' && letters[i] <= 'Z') << letters;
        if (i > 0) {
            EXPECT_LT(letters[i - 1], letters[i]) << letters;
        }
    }
    TempDir dir;
    EXPECT_NE(letters.find(dir.Path()[0]), std::string::npos) << letters;
#ifndef _WIN32
    EXPECT_EQ(letters, "CZ"); // the map without TARN_DRIVES: the home and the root
#endif
}

TEST(CurrentDirectory, FollowsChangesAndRefusesWhatCannotBeEntered)
{
    TempDir dir;
    CurrentDirectoryGuard cwd;
    // A name whose second byte is a backslash (ソ) is one component.
    AnsiString soft = dir.Path() + S(u8"ソフト");
    ASSERT_TRUE(platform::ForceDirectories(soft + "\\sub"));
    tarn::test::WriteFile(dir / "file.txt", "x");

    ASSERT_TRUE(platform::ChangeDirectory(soft + "\\"));
    EXPECT_EQ(platform::CurrentDirectory(), soft);
    ASSERT_TRUE(platform::ChangeDirectory("sub")); // relative to the current one
    EXPECT_EQ(platform::CurrentDirectory(), soft + "\\sub");
    ASSERT_TRUE(platform::ChangeDirectory(soft + "\\sub\\..\\.\\sub\\.."));
    EXPECT_EQ(platform::CurrentDirectory(), soft);

    EXPECT_FALSE(platform::ChangeDirectory(dir / "missing"));
    EXPECT_FALSE(platform::ChangeDirectory(dir / "file.txt"));
    EXPECT_EQ(platform::CurrentDirectory(), soft);

    // A drive's root keeps its backslash.
    AnsiString root = soft.substr(0, 3);
    ASSERT_TRUE(platform::ChangeDirectory(root.substr(0, 2) + "\\"));
    EXPECT_EQ(platform::CurrentDirectory(), root);
}

TEST(CurrentDirectory, EachDriveRemembersItsLastDirectory)
{
    TempDir dir;
    CurrentDirectoryGuard cwd;
    ASSERT_TRUE(platform::ForceDirectories(dir / "a"));
    AnsiString a = dir / "a";
    char letter = a[0];
    ASSERT_TRUE(platform::ChangeDirectory(a));
    EXPECT_EQ(platform::DriveCurrentDirectory(letter), a);
    EXPECT_EQ(platform::DriveCurrentDirectory(static_cast<char>(letter | 0x20)), a);
    // Another drive (on POSIX the other one of the map) does not forget it.
    std::string letters = platform::DriveLetters();
    char other = 0;
    for (char c : { 'Z', 'C' })
        if (c != letter && letters.find(c) != std::string::npos)
            other = c;
    ASSERT_NE(other, 0) << letters;
    AnsiString otherRoot = std::string(1, other) + ":\\";
    ASSERT_TRUE(platform::ChangeDirectory(otherRoot));
    EXPECT_EQ(platform::CurrentDirectory(), otherRoot);
    EXPECT_EQ(platform::DriveCurrentDirectory(other), otherRoot);
    EXPECT_EQ(platform::DriveCurrentDirectory(letter), a);
}

#ifndef _WIN32
AnsiString NoSlash(AnsiString d)
{
    while (d.size() > 3 && d.back() == '\\')
        d.pop_back();
    return d;
}


// The current directory is the path that was entered, links and all (the
// home reached through a link stays C:), and ".." climbs that path.
TEST(CurrentDirectory, ALinkStaysAsItWasEntered)
{
    TARN_REQUIRE_TOOL("ln");
    TempDir dir;
    CurrentDirectoryGuard cwd;
    ASSERT_TRUE(platform::ForceDirectories(dir / "elsewhere\\real"));
    platform::ProcessResult r = platform::RunProcess(
        test::ToolPath("ln"), { "-s", platform::DisplayPath(dir / "elsewhere\\real"), platform::DisplayPath(dir / "link") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    ASSERT_TRUE(platform::ChangeDirectory(dir / "link"));
    EXPECT_EQ(platform::CurrentDirectory(), dir / "link");
    ASSERT_TRUE(platform::ChangeDirectory(".."));
    EXPECT_EQ(platform::CurrentDirectory(), NoSlash(dir.Path()));
}

// More drives exist only in a process started with them in TARN_DRIVES (the
// map is read once per process).
TARN_CHILD(mapped_drives)
{
    std::string fail;
    auto check = [&](bool ok, const std::string& what) {
        if (!ok)
            fail += what + "\n";
    };
    check(platform::DriveLetters() == "CDEZ", "letters " + platform::DriveLetters());
    check(platform::DriveCurrentDirectory('d') == "D:\\", "never visited: " + platform::DriveCurrentDirectory('d'));
    check(platform::ChangeDirectory("d:\\sub"), "enter d:\\sub");
    check(platform::CurrentDirectory() == "D:\\sub", "current " + platform::CurrentDirectory());
    check(platform::DisplayPath(platform::CurrentDirectory()) == args.at(0) + "/sub", "host form");
    // A mapped drive whose directory is not there cannot be entered.
    check(!platform::ChangeDirectory("E:\\"), "entered E:");
    check(platform::CurrentDirectory() == "D:\\sub", "after E: " + platform::CurrentDirectory());
    check(platform::ChangeDirectory("Z:\\"), "enter Z:");
    check(platform::DriveCurrentDirectory('D') == "D:\\sub", "D: after Z: " + platform::DriveCurrentDirectory('D'));
    check(platform::DriveCurrentDirectory('Z') == "Z:\\", "Z: " + platform::DriveCurrentDirectory('Z'));
    if (!fail.empty())
        platform::WriteStdout(fail);
    return fail.empty() ? 0 : 1;
}

TEST(CurrentDirectory, DrivesOfTheMapFromTheEnvironment)
{
    TempDir dir;
    ASSERT_TRUE(platform::ForceDirectories(dir / "d\\sub"));
    std::string dHost = platform::DisplayPath(dir / "d");
    std::string saved = platform::GetEnv("TARN_DRIVES");
    bool had = std::getenv("TARN_DRIVES") != nullptr;
    ::setenv("TARN_DRIVES", ("d=" + dHost + "/;E=" + platform::DisplayPath(dir / "none")).c_str(), 1);
    platform::ProcessResult r = platform::RunProcess(test::SelfPath(), test::ChildArgs("mapped_drives", { dHost }));
    if (had)
        ::setenv("TARN_DRIVES", saved.c_str(), 1);
    else
        ::unsetenv("TARN_DRIVES");
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
}
#endif

} // namespace

TEST(TypedPaths, WhatAPersonTypesBecomesOneAbsolutePath)
{
    TempDir dir;
    CurrentDirectoryGuard cwd;
    ASSERT_TRUE(platform::ChangeDirectory(dir.Path()));
    AnsiString here = ExcludeTrailingBackslash(dir.Path());
    EXPECT_EQ(platform::PathFromTyped(""), "");
    // Relative to the current directory, dots resolved, separators either way.
    EXPECT_EQ(platform::PathFromTyped("games/x"), here + "\\games\\x");
    EXPECT_EQ(platform::PathFromTyped("games\\x\\"), here + "\\games\\x");
    EXPECT_EQ(platform::PathFromTyped("./a/../b"), here + "\\b");
    EXPECT_EQ(platform::PathFromTyped(AnsiToHostUtf8(S(u8"ゲーム/ソ"))), here + "\\" + S(u8"ゲーム\\ソ"));
    // A drive path stands as it is.
    EXPECT_EQ(platform::PathFromTyped("C:\\x\\..\\y\\"), "C:\\y");
    EXPECT_EQ(platform::PathFromTyped("C:"), "C:\\");
#ifndef _WIN32
    // The home, and absolute host paths through the drive map.
    EXPECT_EQ(platform::PathFromTyped("~"), "C:\\");
    EXPECT_EQ(platform::PathFromTyped("~/Games/x"), "C:\\Games\\x");
    EXPECT_EQ(platform::PathFromTyped(platform::GetEnv("HOME") + "/a/"), "C:\\a");
    EXPECT_EQ(platform::PathFromTyped("/usr/../etc"), "Z:\\etc");
    EXPECT_EQ(platform::PathFromTyped("~x"), here + "\\~x"); // not a home
#else
    // Below the current drive's root; no home there.
    EXPECT_EQ(platform::PathFromTyped("\\abs"), here.substr(0, 2) + "\\abs");
    EXPECT_EQ(platform::PathFromTyped("/abs"), here.substr(0, 2) + "\\abs");
    EXPECT_EQ(platform::PathFromTyped("~/x"), here + "\\~\\x");
#endif
}

TEST(TypedPaths, DriveRootsAsAPersonReadsThem)
{
#ifndef _WIN32
    EXPECT_EQ(platform::DriveRootText('C'), platform::GetEnv("HOME"));
    EXPECT_EQ(platform::DriveRootText('Z'), "/");
    EXPECT_EQ(platform::DriveRootText('Q'), ""); // no such drive
#else
    EXPECT_EQ(platform::DriveRootText('C'), "C:\\");
#endif
}

TEST(ShownPaths, APersonReadsHostPathsAndWhatIsShownComesBack)
{
    TempDir dir;
    CurrentDirectoryGuard cwd;
    ASSERT_TRUE(platform::ChangeDirectory(dir.Path()));
#ifndef _WIN32
    AnsiString home = HostUtf8ToAnsi(platform::GetEnv("HOME"));
    EXPECT_EQ(platform::ShownPath("C:\\Games\\Yuzuriha\\Shiomizaka"), home + "/Games/Yuzuriha/Shiomizaka");
    EXPECT_EQ(platform::ShownPath("C:\\Games\\"), home + "/Games/");
    EXPECT_EQ(platform::ShownPath("C:\\"), home);
    EXPECT_EQ(platform::ShownPath("z:"), "/");
    EXPECT_EQ(platform::ShownPath("Z:\\media\\me\\" + S(u8"ディスク")), "/media/me/" + S(u8"ディスク"));
    EXPECT_EQ(platform::ShownPath("Q:\\x"), "Q:\\x"); // no such drive: as it is
    // Typed host paths and drive paths name the same folder.
    for (const char* typed : { "~/Games/x", "C:\\Games\\x", "C:/Games/x/", "~/Games/./y/../x" })
        EXPECT_EQ(platform::PathFromShown(typed), "C:\\Games\\x") << typed;
    EXPECT_EQ(platform::PathFromShown(home + "/Games/x"), "C:\\Games\\x");
    EXPECT_EQ(platform::PathFromShown("/usr/share"), "Z:\\usr\\share");
    EXPECT_EQ(platform::PathFromShown("sub\\x"), ExcludeTrailingBackslash(dir.Path()) + "\\sub\\x");
    EXPECT_EQ(platform::PathFromShown(""), "");
    // Names CP932 cannot hold (a slot each), bytes that are no UTF-8 and a
    // backslash in a name: shown as the host has them, and back to the same
    // program path.
    std::string host;
    ASSERT_TRUE(platform::HostPath(dir.Path(), host));
    for (std::string name :
         { std::string("caf\xC3\xA9"), std::string("raw\xE9\xFF"), std::string("a\\b"), AnsiToHostUtf8(S(u8"ゲーム")) }) {
        AnsiString path = platform::PathFromHost(host + name);
        ASSERT_TRUE(platform::ForceDirectories(path)) << name;
        ASSERT_TRUE(platform::DirectoryExists(path)) << name;
        AnsiString shown = platform::ShownPath(path);
        EXPECT_EQ(AnsiToHostUtf8(shown), host + name);
        EXPECT_EQ(platform::PathFromShown(shown), path) << name;
        EXPECT_EQ(platform::PathFromShown(shown + "/deeper"), path + "\\deeper") << name;
    }
#else
    for (const char* path : { "C:\\Games\\x", "C:\\" })
        EXPECT_EQ(platform::ShownPath(path), path);
    EXPECT_EQ(platform::PathFromShown("C:\\Games\\x\\"), "C:\\Games\\x");
    EXPECT_EQ(platform::PathFromShown("sub/x"), ExcludeTrailingBackslash(dir.Path()) + "\\sub\\x");
#endif
}

TEST(ShownPaths, PlacesToBrowseFrom)
{
    StringList places = platform::BrowsePlaces();
#ifndef _WIN32
    // The home, the root, then each medium (here the test's own media folder).
    std::string media = platform::GetEnv("TARN_MEDIA_DIRS");
    ASSERT_FALSE(media.empty());
    ASSERT_GE(places.size(), 2u);
    EXPECT_EQ(StringList(places.begin(), places.begin() + 2), (StringList{ "C:\\", "Z:\\" }));
    ASSERT_TRUE(platform::ForceDirectories(platform::PathFromHost(media + "/DISC_B")));
    ASSERT_TRUE(platform::ForceDirectories(platform::PathFromHost(media + "/DISC_A")));
    test::WriteFile(platform::PathFromHost(media + "/DISC_C"), "a file is no medium");
    places = platform::BrowsePlaces();
    auto at = [&](const std::string& name) {
        return std::find(places.begin(), places.end(), platform::PathFromHost(media + "/" + name)) - places.begin();
    };
    EXPECT_EQ(at("DISC_A"), static_cast<ptrdiff_t>(places.size()) - 2);
    EXPECT_EQ(at("DISC_B"), static_cast<ptrdiff_t>(places.size()) - 1);
    EXPECT_EQ(at("DISC_C"), static_cast<ptrdiff_t>(places.size()));
    platform::RemoveFile(platform::PathFromHost(media + "/DISC_C"));
    test::RemoveTree(platform::PathFromHost(media + "/DISC_A"));
    test::RemoveTree(platform::PathFromHost(media + "/DISC_B"));
#else
    // Every drive's root.
    ASSERT_FALSE(places.empty());
    for (size_t i = 0; i < places.size(); ++i)
        EXPECT_EQ(places[i], std::string(1, platform::DriveLetters()[i]) + ":\\");
#endif
}
