// Installs and removals that touch only what is theirs: the person's files,
// another installation's records and what lies beside a disc stay as they
// are. The installer program without a person, on disc sets of the test's own.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "../wizard/wizard_fixture.h"
#include "base/codepage.h"
#include "base/path.h"
#include "wizard/manifest.h"

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
    d.Files = { { "game.exe", "MZ the game" }, { "install.exe", "MZ the installer" }, { "readme.txt", "read me" },
                { "bgm\\title.mid", "MThd title" } };
    d.Entries = { { "scenario\\one.txt", "first" } };
    return d;
}

class Ownership : public ::testing::Test {
protected:
    Ownership() : set(S(u8"持ち物のゲーム") + std::to_string(++count), { Game() }) { }
    static inline int count = 0;

    platform::ProcessResult Run(std::vector<std::string> args) { return platform::RunProcess(test::SetupProgramPath(), args); }
    platform::ProcessResult Install(const AnsiString& dir, std::vector<std::string> more = {})
    {
        std::vector<std::string> args = { "--silent", Host(set.Disc(0)), "--dir", Host(dir), "--components", "all" };
        args.insert(args.end(), more.begin(), more.end());
        return Run(args);
    }
    AnsiString Recorded() const { return set.Description(0).ReadRegString("InstallPath", "none"); }

    DiscSet set;
    TempDir dest;
};

TEST_F(Ownership, AnInstallationIsRemovedOnlyWhenARemovalIsAskedFor)
{
    AnsiString dir = dest / "game";
    ASSERT_EQ(Install(dir).ExitCode, 0);
    StringList before = test::TreeOf(dir);
    // What looks like an install onto an installation (a copy of a disc with
    // the flag set, say) is wrong usage, and nothing is touched.
    auto r = Run({ "--silent", Host(dir), "--dir", Host(dest / "elsewhere"), "--components", "all" });
    EXPECT_EQ(r.ExitCode, 2) << r.Err;
    EXPECT_NE(r.Err.find("--uninstall"), std::string::npos) << r.Err;
    EXPECT_EQ(test::TreeOf(dir), before);
    EXPECT_EQ(Recorded(), AddBackslash(dir));
    EXPECT_FALSE(test::GroupFiles(set.Title()).empty());
}

TEST_F(Ownership, AFolderOfThePersonsIsTakenOnlyWhenAskedAndKeepsItsFiles)
{
    AnsiString documents = dest / "Documents";
    platform::ForceDirectories(documents + "\\letters");
    test::WriteFile(documents + "\\letters\\mine.txt", "mine");
    test::WriteFile(documents + "\\notes.txt", "notes");
    // Refused unless asked for, before anything is written.
    auto refused = Install(documents);
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_NE(refused.Err.find("--dir-not-empty-ok"), std::string::npos) << refused.Err;
    EXPECT_EQ(test::TreeOf(documents), (StringList{ "letters\\mine.txt", "notes.txt" }));
    EXPECT_FALSE(TInstallManifest::Load(documents));
    EXPECT_EQ(Recorded(), "none");
    // Asked for: installed beside them, and removed without them.
    ASSERT_EQ(Install(documents, { "--dir-not-empty-ok" }).ExitCode, 0);
    EXPECT_TRUE(platform::FileExists(documents + "\\game.exe"));
    TempDir logs;
    auto removed = Run({ "--silent", "--uninstall", Host(documents), "--delete-save", "--log", Host(logs / "log") });
    ASSERT_EQ(removed.ExitCode, 0) << removed.Err;
    EXPECT_EQ(test::TreeOf(documents), (StringList{ "letters\\mine.txt", "notes.txt" }));
    std::string log = test::ReadFile(logs / "log");
    EXPECT_NE(log.find("kept " + Host(documents + "\\notes.txt")), std::string::npos) << log;
    EXPECT_NE(removed.Err.find("kept 2 files"), std::string::npos) << removed.Err;
}

TEST_F(Ownership, SaveDataInAnyLetterCaseStays)
{
    AnsiString dir = dest / "game";
    ASSERT_EQ(Install(dir).ExitCode, 0);
    test::WriteFile(dir + "\\SAVE.DAT", "progress");
    TempDir logs;
    auto r = Run({ "--silent", "--uninstall", Host(dir), "--log", Host(logs / "log") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(test::TreeOf(dir), StringList{ "SAVE.DAT" });
    EXPECT_NE(test::ReadFile(logs / "log").find("save.dat: kept\n"), std::string::npos);
    // Coming back to the game: the folder of its kept save is taken as it is,
    // and the save stays what it was.
    ASSERT_EQ(Install(dir).ExitCode, 0);
    EXPECT_EQ(test::ReadFile(dir + "\\SAVE.DAT"), "progress");
    EXPECT_EQ(Recorded(), AddBackslash(dir));
}

TEST_F(Ownership, RemovingOneCopyLeavesTheRecordsOfAnother)
{
    AnsiString first = dest / "first", second = dest / "second";
    ASSERT_EQ(Install(first).ExitCode, 0);
    ASSERT_EQ(Install(second).ExitCode, 0);
    ASSERT_EQ(Recorded(), AddBackslash(second));
    StringList group = test::GroupFiles(set.Title());
    ASSERT_FALSE(group.empty());
    // The first goes; the registry value and the group lead to the second.
    ASSERT_EQ(Run({ "--very-silent", "--uninstall", Host(first) }).ExitCode, 0);
    EXPECT_FALSE(platform::DirectoryExists(first));
    EXPECT_EQ(Recorded(), AddBackslash(second));
    EXPECT_EQ(test::GroupFiles(set.Title()), group);
    // The second takes them with it.
    ASSERT_EQ(Run({ "--very-silent", "--uninstall", Host(second) }).ExitCode, 0);
    EXPECT_EQ(Recorded(), "none");
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
}

TEST_F(Ownership, FoldersThatHoldThePersonsOrTheSystemsFilesAreRefused)
{
    for (const AnsiString& dir : { AnsiString("C:\\"), GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER), GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER) + "\\x\\.." }) {
        auto r = Install(dir);
        EXPECT_EQ(r.ExitCode, 1) << Host(dir) << r.Err;
        EXPECT_NE(r.Err.find("にはインストールできません"), std::string::npos) << r.Err;
    }
    EXPECT_EQ(Recorded(), "none");
    // A default folder that climbs out of its place proposes none; an empty
    // one proposes the drive's root, which is refused the same way.
    for (const char* defaultDir : { "<ProgramFiles>\\..\\..\\..\\x", "" }) {
        set.DefaultDir = defaultDir;
        set.Write(0, 0);
        auto r = Run({ "--silent", Host(set.Disc(0)) });
        EXPECT_EQ(r.ExitCode, 1) << defaultDir << r.Err;
        EXPECT_EQ(Recorded(), "none");
    }
}

TEST_F(Ownership, AnUninstallInterruptedAfterItsDescriptionWentIsFinished)
{
    AnsiString dir = dest / "game";
    ASSERT_EQ(Install(dir).ExitCode, 0);
    // As a kill leaves it: the record says the removal began, some files
    // and install.dat have gone.
    std::optional<TInstallManifest> record = TInstallManifest::Load(dir);
    ASSERT_TRUE(record);
    record->Uninstalling = true;
    record->Save();
    platform::RemoveFile(dir + "\\install.dat");
    platform::RemoveFile(dir + "\\game.exe");
    test::WriteFile(dir + "\\save.dat", "progress");
    auto r = Run({ "--silent", "--uninstall", Host(dir) });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(test::TreeOf(dir), StringList{ "save.dat" });
    EXPECT_EQ(Recorded(), "none");
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
    EXPECT_FALSE(TInstallManifest::Load(dir));
    // Without a record of a removal under way, a folder without its
    // description is nobody's installation.
    auto none = Run({ "--silent", "--uninstall", Host(dir) });
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_TRUE(platform::FileExists(dir + "\\save.dat"));
}

#ifndef _WIN32
// A menu made for any title goes with its uninstall: on the desktop a group
// is found by its mark, whatever its name holds.
TEST_F(Ownership, TheMenuOfAnyTitleGoesWithItsUninstall)
{
    const std::string run = test::RunId();
    for (const AnsiString& title : { AnsiString("Sample/stay Yuki ") + run, AnsiString("..\\..\\") + run, AnsiString("../") + run,
                                     "Two\nlines " + run }) {
        DiscSet titled(title, { Game() });
        AnsiString dir = dest / ("t" + std::to_string(++count));
        auto installed = Run({ "--silent", Host(titled.Disc(0)), "--dir", Host(dir), "--components", "all" });
        ASSERT_EQ(installed.ExitCode, 0) << test::ToHex(title) << installed.Err;
        EXPECT_EQ(test::GroupFiles(title).size(), 4u) << test::ToHex(title); // game, uninstall, the folder and the menu
        auto removed = Run({ "--silent", "--uninstall", Host(dir) });
        ASSERT_EQ(removed.ExitCode, 0) << removed.Err;
        EXPECT_EQ(test::GroupFiles(title), StringList{}) << test::ToHex(title);
        EXPECT_FALSE(platform::DirectoryExists(dir));
    }
}
#endif

#ifndef _WIN32

TEST_F(Ownership, ALinkAsTheInstallationIsRemovedAsTheFolderItNames)
{
    AnsiString dir = dest / "real";
    ASSERT_EQ(Install(dir).ExitCode, 0);
    std::string real = Host(dir), link = Host(dest / "link");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    auto r = Run({ "--silent", "--uninstall", link, "--delete-save" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_FALSE(platform::DirectoryExists(dir)); // its files, not the link
    EXPECT_EQ(Recorded(), "none");
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
}

TEST_F(Ownership, LinksOutOfTheDiscAndSpecialFilesAreNotCopied)
{
    // Beside the disc: a file the disc's link points at.
    TempDir outside;
    test::WriteFile(outside / "secret.txt", "not the disc's");
    std::string disc = Host(set.Disc(0));
    ASSERT_EQ(::symlink(Host(outside / "secret.txt").c_str(), (disc + "secret.txt").c_str()), 0);
    ASSERT_EQ(::symlink("readme.txt", (disc + "readme-again.txt").c_str()), 0); // on the disc: copied as the file
    ASSERT_EQ(::mkfifo((disc + "pipe.txt").c_str(), 0600), 0); // read, it would wait forever
    AnsiString dir = dest / "game";
    auto r = Install(dir);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_FALSE(platform::FileExists(dir + "\\secret.txt"));
    EXPECT_FALSE(platform::FileExists(dir + "\\pipe.txt"));
    EXPECT_EQ(test::ReadFile(dir + "\\readme-again.txt"), "read me");
    EXPECT_NE(r.Err.find("warning: "), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("secret.txt"), std::string::npos) << r.Err;
}

// A disc as the desktop mounts it (files 0400, folders 0500), installed by a
// person who is not root: what is installed is theirs to change and run, and
// a second install over it goes through.
TEST_F(Ownership, FilesFromAReadOnlyDiscAreThePersonsOwn)
{
    TARN_REQUIRE_TOOL("setpriv");
    test::WriteFile(set.Disc(0) + "start.sh", "#!/bin/sh\necho hi\n");
    test::WriteFile(set.Disc(0) + "bgm\\notes.bat", "@echo off\n");
    // The person's own tree, which root's temporary folders do not let through.
    std::string root = "/tmp/tarn-modes-" + test::RunId() + "-" + std::to_string(::getpid());
    struct Cleanup {
        std::string dir;
        ~Cleanup() { platform::RunProcess("/bin/rm", { "-rf", dir }); }
    } cleanup{ root };
    const bool asRoot = ::geteuid() == 0;
    const std::string uid = asRoot ? "65534" : std::to_string(::geteuid());
    std::string script = "set -e; umask 022; mkdir -p '" + root + "/home' '" + root + "/tmp'; cp -r '" + Host(set.Disc(0)) + "' '" +
                         root + "/disc'; find '" + root + "/disc' -type f -exec chmod 0400 {} +; find '" + root +
                         "/disc' -type d -exec chmod 0500 {} +; chown -R " + uid + " '" + root + "'; chmod 0755 '" + root + "'";
    auto made = platform::RunProcess("/bin/sh", { "-c", script });
    ASSERT_EQ(made.ExitCode, 0) << made.Err;

    std::vector<std::string> as = asRoot ? std::vector<std::string>{ "/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" }
                                         : std::vector<std::string>{};
    auto run = [&](const std::string& command) {
        std::vector<std::string> args = as;
        args.insert(args.end(), { "/usr/bin/env", "HOME=" + root + "/home", "XDG_CONFIG_HOME=" + root + "/home/.config",
                                  "XDG_DATA_HOME=" + root + "/home/.local/share", "XDG_RUNTIME_DIR=" + root + "/home/.run",
                                  "TMPDIR=" + root + "/tmp", "/bin/sh", "-c", "umask 022; " + command });
        return platform::RunProcess(args[0], std::vector<std::string>(args.begin() + 1, args.end()));
    };
    const std::string install = "'" + Host(test::SetupProgramPath()) + "' --silent '" + root + "/disc' --dir '" + root +
                                "/home/Games/game' --components all";
    auto first = run(install);
    ASSERT_EQ(first.ExitCode, 0) << first.Err;
    const std::string game = root + "/home/Games/game/";
    auto mode = [&](const std::string& name) {
        struct stat st {};
        return ::stat((game + name).c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    };
    EXPECT_EQ(mode("readme.txt"), 0644);
    EXPECT_EQ(mode("game.exe"), 0755);
    EXPECT_EQ(mode("start.sh"), 0755);
    EXPECT_EQ(mode("bgm/notes.bat"), 0755);
    EXPECT_EQ(mode("bgm/title.mid"), 0644);
    EXPECT_EQ(mode("bgm"), 0755);
    EXPECT_EQ(mode("game.dat"), 0644);
    // The person (not root, who could anyway) changes a file and installs again.
    auto changed = run("echo patched >> '" + game + "readme.txt' && touch -d 2001-01-01 '" + game + "bgm/title.mid'");
    EXPECT_EQ(changed.ExitCode, 0) << changed.Err;
    auto again = run(install);
    EXPECT_EQ(again.ExitCode, 0) << again.Err;
    EXPECT_EQ(test::ReadFile(platform::PathFromHost(game + "bgm/title.mid")), "MThd title");
    EXPECT_EQ(mode("bgm/title.mid"), 0644);
}

#endif

} // namespace
