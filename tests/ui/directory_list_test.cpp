// The directory list and the drive list on real directories: what they list,
// how they move the process's current directory, and the order of their events.
#include <cstdlib>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/directory_list.h"
#include "ui/null_backend.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::CurrentDirectoryGuard;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

AnsiString NoSlash(const AnsiString& dir)
{
    AnsiString d = dir;
    while (d.size() > 3 && d.back() == '\\')
        d.pop_back();
    return d;
}

// Subdirectories in an order that is not the sorted one, a hidden one, a
// name whose second byte is a backslash (ソ), and a file.
void MakeTree(const AnsiString& root)
{
    for (const char* name : { "Games", "alpha", ".config", "Beta" })
        ASSERT_TRUE(platform::ForceDirectories(root + name));
    ASSERT_TRUE(platform::ForceDirectories(root + S(u8"ソフト\\データ")));
    tarn::test::WriteFile(root + "readme.txt", "x");
#ifdef _WIN32
    platform::FileSetAttr(root + ".config", faDirectory | faHidden);
#endif
}

class DirectoryBrowsing : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<NullBackend>();
        backend = b.get();
        App().SetBackend(std::move(b));
        MakeTree(tree.Path());
        ASSERT_TRUE(platform::ChangeDirectory(tree.Path()));
    }
    NullBackend* backend = nullptr;
    TempDir tree;
    CurrentDirectoryGuard cwd;
    Form form{ "Browse" };
};

TEST_F(DirectoryBrowsing, ListsAncestorsThenSortedSubdirectories)
{
    DirectoryList& list = form.Add<DirectoryList>("Directory");
    AnsiString dir = NoSlash(tree.Path());
    EXPECT_EQ(list.Directory(), dir);
    const auto& items = list.Items();
    // The root, then one open entry per component down to the directory itself.
    int depth = list.ItemIndex();
    ASSERT_GT(depth, 0);
    ASSERT_GE(items.size(), static_cast<size_t>(depth) + 1);
    EXPECT_EQ(items[0].Path, dir.substr(0, 3));
    EXPECT_EQ(items[0].Level, 0);
    AnsiString walked = dir.substr(0, 3);
    for (int i = 1; i <= depth; ++i) {
        walked = AddBackslash(walked) + items[static_cast<size_t>(i)].Text;
        EXPECT_EQ(items[static_cast<size_t>(i)].Path, walked);
        EXPECT_EQ(items[static_cast<size_t>(i)].Level, i);
        EXPECT_TRUE(items[static_cast<size_t>(i)].Open);
    }
    EXPECT_EQ(walked, dir);
#ifndef _WIN32
    // The root is shown as the host directory it stands for, without a trailing slash.
    std::string host;
    ASSERT_TRUE(platform::HostPath(dir.substr(0, 3), host));
    if (host.size() > 1)
        host.pop_back();
    EXPECT_EQ(AnsiToHostUtf8(items[0].Text), host);
#endif
    // Subdirectories by name without regard to case; no dot directory, no file.
    std::vector<AnsiString> subs;
    for (size_t i = static_cast<size_t>(depth) + 1; i < items.size(); ++i) {
        subs.push_back(items[i].Text);
        EXPECT_EQ(items[i].Level, depth + 1);
        EXPECT_FALSE(items[i].Open);
        EXPECT_EQ(items[i].Path, AddBackslash(dir) + items[i].Text);
    }
    EXPECT_EQ(subs, (std::vector<AnsiString>{ "alpha", "Beta", "Games", S(u8"ソフト") }));
}

TEST_F(DirectoryBrowsing, SetDirectoryMovesTheCurrentDirectoryAndFiresOnce)
{
    DirectoryList& list = form.Add<DirectoryList>("Directory");
    int changes = 0;
    list.OnChange = [&](Control&) { ++changes; };
    // Into the folder whose name holds a 0x5C second byte: one component, not two.
    AnsiString soft = tree.Path() + S(u8"ソフト");
    list.SetDirectory(soft + "\\");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.Directory(), soft);
    EXPECT_EQ(platform::CurrentDirectory(), soft);
    EXPECT_EQ(list.Items()[static_cast<size_t>(list.ItemIndex())].Text, S(u8"ソフト"));
    ASSERT_EQ(list.Items().size(), static_cast<size_t>(list.ItemIndex()) + 2);
    EXPECT_EQ(list.Items().back().Text, S(u8"データ"));
    // The same directory again changes nothing.
    list.SetDirectory(soft);
    EXPECT_EQ(changes, 1);
    // A relative name is taken from the shown directory; ".." climbs.
    list.SetDirectory(S(u8"データ"));
    EXPECT_EQ(list.Directory(), soft + S(u8"\\データ"));
    list.SetDirectory("..\\..");
    EXPECT_EQ(list.Directory(), NoSlash(tree.Path()));
    EXPECT_EQ(changes, 3);
}

TEST_F(DirectoryBrowsing, ADirectoryThatCannotBeEnteredChangesNothing)
{
    DirectoryList& list = form.Add<DirectoryList>("Directory");
    int changes = 0;
    list.OnChange = [&](Control&) { ++changes; };
    auto before = list.Items().size();
    EXPECT_THROW(list.SetDirectory(tree.Path() + "missing"), EOSError);
    EXPECT_THROW(list.SetDirectory(tree.Path() + "readme.txt"), EOSError);
    EXPECT_EQ(list.Directory(), NoSlash(tree.Path()));
    EXPECT_EQ(platform::CurrentDirectory(), NoSlash(tree.Path()));
    EXPECT_EQ(list.Items().size(), before);
    EXPECT_EQ(changes, 0);
}

TEST_F(DirectoryBrowsing, WhatAPersonChooses)
{
    DirectoryList& list = form.Add<DirectoryList>("Directory");
    int depth = list.ItemIndex();
    int changes = 0;
    list.OnChange = [&](Control&) { ++changes; };
    // depth + 3 is "Games" (alpha, Beta, Games, ソフト).
    EXPECT_TRUE(list.UserChoose(depth + 3));
    EXPECT_EQ(list.Directory(), tree.Path() + "Games");
    // Its parent is the entry above it.
    EXPECT_TRUE(list.UserChoose(list.ItemIndex() - 1));
    EXPECT_EQ(list.Directory(), NoSlash(tree.Path()));
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(list.UserChoose(-1));
    EXPECT_FALSE(list.UserChoose(static_cast<int>(list.Items().size())));
    EXPECT_TRUE(list.UserSetDirectory("alpha"));
    EXPECT_EQ(list.Directory(), tree.Path() + "alpha");
    list.SetEnabled(false);
    EXPECT_FALSE(list.UserSetDirectory(NoSlash(tree.Path())));
    EXPECT_FALSE(list.UserChoose(0));
    list.SetEnabled(true);
    EXPECT_EQ(changes, 3);

    // An entry that went away since the list was read: the error is shown
    // (here answered by the backend), the list stays where it was.
    list.SetDirectory(NoSlash(tree.Path()));
    tarn::test::RemoveTree(tree.Path() + "Beta");
    size_t logged = backend->Log.size();
    EXPECT_FALSE(list.UserChoose(list.ItemIndex() + 2));
    EXPECT_EQ(list.Directory(), NoSlash(tree.Path()));
    ASSERT_EQ(backend->Log.size(), logged + 1);
    EXPECT_NE(backend->Log.back().find("Beta"), std::string::npos);
}

TEST_F(DirectoryBrowsing, TheSecondPressOfADoubleClickOpensNothing)
{
    DirectoryList& list = form.Add<DirectoryList>("Directory");
    int depth = list.ItemIndex();
    int notices = 0;
    form.OnModelChanged = [&](Control* c) { notices += c == &list; };
    // The first press opens Games; the second lands on whatever row now lies
    // under the pointer, and opens nothing, but the list is shown again.
    EXPECT_TRUE(list.UserPress(depth + 3, false));
    EXPECT_EQ(list.Directory(), tree.Path() + "Games");
    notices = 0;
    EXPECT_FALSE(list.UserPress(depth + 3, true));
    EXPECT_EQ(list.Directory(), tree.Path() + "Games");
    EXPECT_EQ(notices, 1);
    // A press beside the rows opens nothing either.
    EXPECT_FALSE(list.UserPress(-1, false));
    EXPECT_EQ(notices, 2);
}

// The drive whose current directory the test can move to: on POSIX C: (the
// isolated home) when the temporary directory is elsewhere, else Z: (the root).
char OtherDrive(char current)
{
    std::string drives = platform::DriveLetters();
    for (char letter : { 'C', 'Z' })
        if (letter != current && drives.find(letter) != std::string::npos)
            return letter;
    return 0;
}

TEST_F(DirectoryBrowsing, ADriveChangeMovesTheListFirstThenTellsOfTheDrive)
{
    DriveCombo& drive = form.Add<DriveCombo>("Drive");
    DirectoryList& list = form.Add<DirectoryList>("Directory");
    drive.SetDirList(&list);
    char here = tree.Path()[0];
    EXPECT_EQ(drive.Drive(), here);
    EXPECT_GE(drive.PlaceOfDrive(here), 0);
    char other = OtherDrive(here);
    ASSERT_NE(other, 0) << platform::DriveLetters();
    AnsiString otherDir = platform::DriveCurrentDirectory(other);

    std::vector<std::string> events;
    list.OnChange = [&](Control&) { events.push_back("list " + list.Directory()); };
    drive.OnChange = [&](Control&) { events.push_back(std::string("drive ") + drive.Drive()); };
    drive.SetDrive(other);
    EXPECT_EQ(events, (std::vector<std::string>{ "list " + otherDir, std::string("drive ") + other }));
    EXPECT_EQ(list.Directory(), otherDir);
    EXPECT_EQ(platform::CurrentDirectory(), otherDir);

    // Back: the first drive's current directory is where the list left it.
    events.clear();
    EXPECT_TRUE(drive.UserChoose(static_cast<char>(here | 0x20)));
    EXPECT_EQ(list.Directory(), NoSlash(tree.Path()));
    EXPECT_EQ(events, (std::vector<std::string>{ "list " + NoSlash(tree.Path()), std::string("drive ") + here }));
    // The drive shown already, and one that is not there, are refused.
    EXPECT_FALSE(drive.UserChoose(here));
    std::string drives = platform::DriveLetters();
    char missing = 0;
    for (char c = 'Y'; c > 'A' && !missing; --c)
        if (drives.find(c) == std::string::npos)
            missing = c;
    EXPECT_FALSE(drive.UserChoose(missing));
    EXPECT_THROW(drive.SetDrive(missing), EOSError);

    // The list moving to another drive by itself takes the drive list along.
    events.clear();
    list.SetDirectory(otherDir);
    EXPECT_EQ(drive.Drive(), other);
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(DirectoryBrowsing, ADriveWhoseDirectoryIsGoneIsRefused)
{
    DriveCombo& drive = form.Add<DriveCombo>("Drive");
    DirectoryList& list = form.Add<DirectoryList>("Directory");
    drive.SetDirList(&list);
    char here = drive.Drive();
    char other = OtherDrive(here);
    ASSERT_NE(other, 0);
    // The temporary tree becomes this drive's last directory, then goes away.
    AnsiString doomed = tree.Path() + "alpha";
    list.SetDirectory(doomed);
    list.SetDirectory(platform::DriveCurrentDirectory(other));
    ASSERT_EQ(drive.Drive(), other);
    tarn::test::RemoveTree(doomed);
    int changes = 0;
    drive.OnChange = list.OnChange = [&](Control&) { ++changes; };
    AnsiString before = list.Directory();
    EXPECT_THROW(drive.SetDrive(here), EOSError);
    int notices = 0;
    form.OnModelChanged = [&](Control* c) { notices += c == &drive; };
    EXPECT_FALSE(drive.UserChoose(here)); // the same, shown in an error box
    EXPECT_EQ(notices, 1) << "a refused drive is shown as the model's again";
    EXPECT_EQ(drive.Drive(), other);
    EXPECT_EQ(list.Directory(), before);
    EXPECT_EQ(platform::CurrentDirectory(), before);
    EXPECT_EQ(changes, 0);
}

#ifndef _WIN32
// A second drive exists only in a process started with it in TARN_DRIVES
// (the drive map is read once per process).
TARN_CHILD(browse_drive_d)
{
    std::string fail;
    auto check = [&](bool ok, const std::string& what) {
        if (!ok)
            fail += what + "\n";
    };
    App().SetBackend(std::make_unique<NullBackend>());
    std::string dHost = args.at(0);
    check(platform::ChangeDirectory("D:\\sub"), "enter D:\\sub");
    check(platform::ChangeDirectory(platform::PathFromHost(args.at(1))), "enter the C: directory");
    {
        Form form("Browse");
        DriveCombo& drive = form.Add<DriveCombo>("Drive");
        DirectoryList& list = form.Add<DirectoryList>("Directory");
        drive.SetDirList(&list);
        check(drive.Drive() == 'C', std::string("drive ") + drive.Drive());
        check(drive.Places() == StringList{ "C:\\", "Z:\\", "D:\\" }, "places " + drive.Places().size());
        check(drive.PlaceText(2) == dHost, drive.PlaceText(2));
        std::vector<std::string> events;
        list.OnChange = [&](Control&) { events.push_back("list " + list.Directory()); };
        drive.OnChange = [&](Control&) { events.push_back(std::string("drive ") + drive.Drive()); };
        check(drive.UserChoose('D'), "choose D");
        check(events == std::vector<std::string>{ "list D:\\sub", "drive D" }, "events");
        check(list.Directory() == "D:\\sub", list.Directory());
        check(list.Items().size() == 3 && list.Items()[0].Text == HostUtf8ToAnsi(dHost) && list.Items()[2].Text == "deeper",
              "items");
        // Up to the drive's root: its entry is the only ancestor.
        check(list.UserChoose(0), "choose the root");
        check(list.Directory() == "D:\\" && list.ItemIndex() == 0, "root " + list.Directory());
    }
    if (!fail.empty())
        platform::WriteStdout(fail);
    return fail.empty() ? 0 : 1;
}

TEST_F(DirectoryBrowsing, ASecondDriveFromTheDriveMap)
{
    // D: lies inside C: (the home): its paths still belong to D:, the longer root.
    std::string home = platform::GetEnv("HOME");
    std::string dHost = home + "/discs/d";
    ASSERT_TRUE(platform::ForceDirectories(platform::PathFromHost(dHost + "/sub/deeper")));
    ASSERT_TRUE(platform::ForceDirectories(platform::PathFromHost(home + "/work")));
    std::string saved = platform::GetEnv("TARN_DRIVES");
    bool had = std::getenv("TARN_DRIVES") != nullptr;
    ::setenv("TARN_DRIVES", ("D=" + dHost).c_str(), 1);
    platform::ProcessResult r = platform::RunProcess(test::SelfPath(), test::ChildArgs("browse_drive_d", { dHost, home + "/work" }));
    if (had)
        ::setenv("TARN_DRIVES", saved.c_str(), 1);
    else
        ::unsetenv("TARN_DRIVES");
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    tarn::test::RemoveTree(platform::PathFromHost(home + "/discs"));
    tarn::test::RemoveTree(platform::PathFromHost(home + "/work"));
}
#endif

} // namespace
