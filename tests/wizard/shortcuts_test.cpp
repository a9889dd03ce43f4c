#include <cstdlib>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "platform/program_manager_commands.h"
#include "wizard/shortcuts.h"
#include "wizard_fixture.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::ScriptedHost;
using tarn::test::TempDir;

namespace {

TTarnInstallSet Description(const AnsiString& title, const AnsiString& readme, uint8_t openReadme)
{
    TTarnInstallSet set;
    set.Title = title;
    set.GameExe = "game.exe";
    set.ReadmeFile = readme;
    set.OpenReadme = openReadme;
    return set;
}

TEST(ShortcutCommands, TheGroupAndItsItemsInOrder)
{
    StringList commands = CreateShortcutCommands(Description("Sample", "readme.txt", 1), "C:\\PROGRA~1\\SAMPLE\\");
    StringList expected = {
        "[CreateGroup(Sample)]",
        "[ShowGroup(Sample,1)]",
        "[AddItem(\"C:\\PROGRA~1\\SAMPLE\\game.exe\",\"Sample\")]",
        "[AddItem(\"C:\\PROGRA~1\\SAMPLE\\install.exe\",\"Sample" + S(u8"のアンインストール") +
            "\",\"C:\\PROGRA~1\\SAMPLE\\install.exe\",1)]",
        "[AddItem(\"C:\\PROGRA~1\\SAMPLE\\readme.txt\",\"" + S(u8"お読みください") + "\")]",
    };
    EXPECT_EQ(commands, expected);
    // Without a read-me there is no third item, whatever OpenReadme says.
    for (uint8_t open : { 0, 1 }) {
        StringList without = CreateShortcutCommands(Description("Sample", "", open), "C:\\PROGRA~1\\SAMPLE\\");
        EXPECT_EQ(without, StringList(expected.begin(), expected.begin() + 4));
    }
}

TEST(ShortcutCommands, FilesOutsideTheDestinationGetNoItem)
{
    // The uninstaller's item stays; the program and the read-me that climb
    // out of the destination, or name a root or a drive, have none.
    for (const AnsiString& outside : { AnsiString("..\\..\\bin\\sh"), AnsiString("a\\..\\..\\x"), AnsiString("\\etc\\passwd"),
                                       AnsiString("/etc/passwd"), AnsiString("C:\\x.exe"), AnsiString("c:x.exe") }) {
        TTarnInstallSet set = Description("Sample", outside, 1);
        set.GameExe = outside;
        StringList c = CreateShortcutCommands(set, "D:\\G\\");
        ASSERT_EQ(c.size(), 3u) << outside;
        EXPECT_EQ(c[2], "[AddItem(\"D:\\G\\install.exe\",\"Sample" + S(u8"のアンインストール") + "\",\"D:\\G\\install.exe\",1)]");
    }
    // Dots that stay inside, and a 0x5C that ends a character, are harmless.
    TTarnInstallSet set = Description("Sample", "doc\\..\\.\\readme.txt", 1);
    set.GameExe = S(u8"ソ\\..\\game.exe");
    EXPECT_EQ(CreateShortcutCommands(set, "D:\\G\\").size(), 5u);
}

TEST(ShortcutCommands, TitlesGoInByteForByte)
{
    // Commas, parentheses and quotes are not the commands' business; CP932
    // titles (one ending in the 0x5C of ソ, one that is not CP932 at all)
    // keep every byte.
    for (const AnsiString& title : { AnsiString("Sample, (Trial) \"2\""), S(u8"体験版ソ"), AnsiString("\x81\x5C\xFF") }) {
        StringList c = CreateShortcutCommands(Description(title, "", 0), "D:\\G\\");
        ASSERT_EQ(c.size(), 4u);
        EXPECT_EQ(test::ToHex(c[0]), test::ToHex("[CreateGroup(" + title + ")]"));
        EXPECT_EQ(test::ToHex(c[1]), test::ToHex("[ShowGroup(" + title + ",1)]"));
        EXPECT_EQ(test::ToHex(c[2]), test::ToHex("[AddItem(\"D:\\G\\game.exe\",\"" + title + "\")]"));
        EXPECT_EQ(test::ToHex(c[3]), test::ToHex("[AddItem(\"D:\\G\\install.exe\",\"" + title + S(u8"のアンインストール") +
                                                 "\",\"D:\\G\\install.exe\",1)]"));
        EXPECT_EQ(DeleteShortcutCommand(title), "[DeleteGroup(" + title + ")]");
    }
}

TEST(ShortcutCommands, NoDeletionOfATitleThatCouldNameAnotherFolder)
{
    EXPECT_EQ(DeleteShortcutCommand(AnsiString()), "");
    // Where a group is found by its mark, any title names only its own group.
    for (const AnsiString& title : { AnsiString("."), AnsiString("..."), AnsiString("a\\b"), AnsiString("\\"),
                                     AnsiString("a/b"), AnsiString("/"), S(u8"ソ\\") })
        EXPECT_EQ(DeleteShortcutCommand(title), platform::GroupsFoundByTheirMark() ? "[DeleteGroup(" + title + ")]" : "")
            << test::ToHex(title);
    // A 0x5C that ends a two-byte character is no separator; dots among other characters are harmless.
    EXPECT_EQ(DeleteShortcutCommand(S(u8"表ソ")), "[DeleteGroup(" + S(u8"表ソ") + ")]");
    EXPECT_EQ(DeleteShortcutCommand("..a"), "[DeleteGroup(..a)]");
}

TEST(ShortcutCommands, TheDirectoryEndsInOneBackslash)
{
    // Paths that do not exist keep their form; a trailing ソ is not a backslash.
    EXPECT_EQ(ShortcutDirectory("Q:\\No Such\\Game"), "Q:\\No Such\\Game\\");
    EXPECT_EQ(ShortcutDirectory("Q:\\No Such\\Game\\"), "Q:\\No Such\\Game\\");
    EXPECT_EQ(ShortcutDirectory(S(u8"Q:\\ソ")), S(u8"Q:\\ソ\\"));
    TempDir dir;
    platform::ForceDirectories(dir / "Long Folder Name");
    AnsiString d = ShortcutDirectory(dir / "Long Folder Name");
    EXPECT_EQ(d, platform::ShortPath(dir / "Long Folder Name") + "\\");
    EXPECT_TRUE(platform::DirectoryExists(d));
}

void ExpectOneInformationBox(const ScriptedHost& host, const char8_t* text)
{
    ASSERT_EQ(host.Reports.size(), 1u);
    EXPECT_EQ(host.Reports[0].first, ReportKind::Information);
    EXPECT_EQ(host.Reports[0].second, AnsiToHostUtf8(S(text)));
}

// The items of the group: desktop entries of the user's menu, or the
// links in the group's Start-menu folder.
size_t MenuEntries([[maybe_unused]] const AnsiString& title)
{
#ifdef _WIN32
    size_t n = 0;
    for (const AnsiString& f : test::GroupFiles(title))
        n += f.ends_with(".lnk");
    return n;
#else
    StringList list;
    AnsiString dir = platform::PathFromHost(platform::GetEnv("XDG_DATA_HOME") + "/applications");
    if (platform::DirectoryExists(dir))
        ListFiles(AddBackslash(dir), faArchive, true, true, list, false, false, false, ".desktop");
    return list.size();
#endif
}

TEST(Shortcuts, TheGroupIsMadeAndTheReadmeOpenedOnlyWhenAsked)
{
    TempDir dir;
    test::WriteFile(dir / "game.exe", "MZ");
    test::WriteFile(dir / "install.exe", "MZ");
    test::WriteFile(dir / "readme.txt", "read me");
    const AnsiString editDir = ExcludeTrailingBackslash(dir.Path());
    struct Case {
        AnsiString readme;
        uint8_t open;
        size_t items;
        bool opens;
    };
    for (const Case& c : { Case{ "readme.txt", 1, 3, true }, Case{ "readme.txt", 0, 3, false }, Case{ "", 1, 2, false } }) {
        const AnsiString title = S(u8"体験版 (Sample), 1");
        TTarnInstallSet set = Description(title, c.readme, c.open);
        ScriptedHost host;
        size_t before = MenuEntries(title);
        EXPECT_TRUE(CreateShortcuts(set, editDir, std::string(), host));
        EXPECT_TRUE(host.Reports.empty());
        EXPECT_EQ(MenuEntries(title), before + c.items);
        if (c.opens)
            EXPECT_EQ(host.Opened, StringList{ "\"" + ShortcutDirectory(editDir) + "readme.txt\"" });
        else
            EXPECT_TRUE(host.Opened.empty());
        DeleteShortcuts(set, host);
        EXPECT_TRUE(host.Reports.empty());
        EXPECT_EQ(MenuEntries(title), before);
    }
}

TEST(Shortcuts, FilesOutsideTheDestinationAreToldAndNeverOpened)
{
    TempDir dir;
    test::WriteFile(dir / "install.exe", "MZ");
    TTarnInstallSet set = Description(S(u8"外の読み物"), "..\\..\\etc\\passwd", 1);
    set.GameExe = "..\\..\\bin\\sh";
    ScriptedHost host;
    size_t before = MenuEntries(set.Title);
    EXPECT_TRUE(CreateShortcuts(set, dir.Path(), std::string(), host));
    EXPECT_EQ(host.LeftOutFiles, (StringList{ set.GameExe, set.ReadmeFile }));
    EXPECT_TRUE(host.Opened.empty());
    EXPECT_TRUE(host.Reports.empty()); // one item asked for, one made
    EXPECT_EQ(MenuEntries(set.Title), before + 1);
    DeleteShortcuts(set, host);
}

#ifndef _WIN32

TEST(Shortcuts, AGroupWithoutAllItsItemsIsAWarningAndTheRunGoesOn)
{
    // A program whose name no desktop entry can hold (a byte that is not
    // CP932 gives a host name that is not UTF-8): its item is not made.
    TempDir dir;
    test::WriteFile(dir / "install.exe", "MZ");
    TTarnInstallSet set = Description(S(u8"半分の組"), "", 0);
    set.GameExe = "\xFF.exe";
    ScriptedHost host;
    size_t before = MenuEntries(set.Title);
    EXPECT_TRUE(CreateShortcuts(set, dir.Path(), std::string(), host));
    ASSERT_EQ(host.Reports.size(), 1u);
    EXPECT_EQ(host.Reports[0].first, ReportKind::Warning);
    EXPECT_EQ(host.Reports[0].second, AnsiToHostUtf8(S(u8"ショートカットの一部を作成できませんでした")));
    EXPECT_EQ(MenuEntries(set.Title), before + 1);
    DeleteShortcuts(set, host);
    EXPECT_EQ(MenuEntries(set.Title), before);
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name), old_(platform::GetEnv(name)) { ::setenv(name, value.c_str(), 1); }
    ~ScopedEnv() { ::setenv(name_, old_.c_str(), 1); }

private:
    const char* name_;
    std::string old_;
};

TEST(Shortcuts, AGroupTitledLikeAParentFolderGoesWithItsMark)
{
    TempDir dir;
    test::WriteFile(dir / "game.exe", "MZ");
    TTarnInstallSet set = Description("..", "", 0);
    ScriptedHost host;
    size_t before = MenuEntries("..");
    ASSERT_TRUE(CreateShortcuts(set, dir.Path(), std::string(), host));
    ASSERT_EQ(MenuEntries(".."), before + 2);
    DeleteShortcuts(set, host);
    EXPECT_TRUE(host.Reports.empty());
    EXPECT_EQ(MenuEntries(".."), before);
}

TEST(Shortcuts, NoProgramManagerIsReportedInAnInformationBox)
{
    TempDir dir;
    test::WriteFile(dir / "plain-file", "");
    ScopedEnv data("XDG_DATA_HOME", platform::DisplayPath(dir / "plain-file") + "/share");
    TTarnInstallSet set = Description("Sample", "readme.txt", 1);
    {
        ScriptedHost host;
        EXPECT_FALSE(CreateShortcuts(set, dir.Path(), std::string(), host));
        ExpectOneInformationBox(host, u8"ショートカットの作成に失敗しました");
        EXPECT_TRUE(host.Opened.empty());
    }
    {
        ScriptedHost host;
        DeleteShortcuts(set, host);
        ExpectOneInformationBox(host, u8"ショートカットの削除に失敗しました");
    }
}

#else

TEST(Shortcuts, AGroupThatIsNotThereAfterTheCommandsIsReported)
{
    // A title no folder can have: the commands go nowhere, and the run says so.
    TempDir dir;
    test::WriteFile(dir / "game.exe", "MZ");
    TTarnInstallSet set = Description("Half\\Way", "readme.txt", 1);
    ScriptedHost host;
    EXPECT_FALSE(CreateShortcuts(set, dir.Path(), std::string(), host));
    ExpectOneInformationBox(host, u8"ショートカットの作成に失敗しました");
    EXPECT_TRUE(host.Opened.empty());
    EXPECT_TRUE(test::GroupFiles("Half").empty());
}

#endif

} // namespace
