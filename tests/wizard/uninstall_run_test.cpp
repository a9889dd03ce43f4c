// The uninstall run over a scripted host: a real installation, the real
// trash of this test program's home, the registry store.
#include "ui/application.h"
#include "ui/null_backend.h"
#include "wizard/install_run.h"
#include "wizard/shortcuts.h"
#include "wizard/manifest.h"
#include "wizard/uninstall_run.h"
#include "wizard_fixture.h"

using namespace tarn;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::S;
using tarn::test::ScriptedHost;
using tarn::test::TempDir;

namespace {

class UninstallRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::App().SetBackend(std::make_unique<ui::NullBackend>());
        fileOp.Options = kWizardFileOpOptions;
    }
    static RunOptions Removing(const AnsiString& dir, bool deleteSave)
    {
        RunOptions o;
        o.Installation = dir;
        o.DeleteSave = deleteSave;
        return o;
    }
    // An installation of set's disc 1 in dir, made by the install run, with
    // save data and a subdirectory holding a save.dat of its own (both the
    // game's, written after the install).
    void Install(DiscSet& set, const AnsiString& dir, const char* saveName)
    {
        TProgramState state;
        set.LoadState(state, 0);
        RunOptions c;
        c.Destination = dir;
        c.AcceptNonEmpty = true; // a folder of the person's, in one test
        ScriptedHost host;
        ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
        if (saveName)
            test::WriteFile(AddBackslash(dir) + saveName, "progress");
        platform::ForceDirectories(AddBackslash(dir) + "sub");
        test::WriteFile(AddBackslash(dir) + "sub\\save.dat", "not protected");
    }
#ifndef _WIN32
    // What the home trash holds (names in files/), and the original path its
    // info file records for name.
    static std::string TrashDir() { return platform::GetEnv("XDG_DATA_HOME") + "/Trash"; }
    static StringList Trashed()
    {
        StringList names;
        for (const platform::DirEntry& e : SortedDirectory(platform::PathFromHost(TrashDir() + "/files")))
            names.push_back(e.Name);
        return names;
    }
    static std::string TrashInfo(const AnsiString& name)
    {
        return test::ReadFile(platform::PathFromHost(TrashDir() + "/info/" + AnsiToHostUtf8(name) + ".trashinfo"));
    }
    void EmptyTrash() { test::RemoveTree(platform::PathFromHost(TrashDir())); }
#endif

    TFileOperation fileOp;
    TempDir dest;
};

DiscContent Game()
{
    DiscContent d;
    d.Files = { { "game.exe", "MZgame" }, { "readme.txt", "read me" }, { "manual\\index.html", "<p>" } };
    return d;
}

TEST_F(UninstallRun, WhatTheInstallationPutThereGoesAndNothingElse)
{
    DiscSet set(S(u8"セーブを残す"), { Game() });
    AnsiString dir = dest / "game";
    Install(set, dir, "SAVE.DAT");
    ASSERT_FALSE(test::GroupFiles(set.Title()).empty());
    ASSERT_TRUE(TInstallManifest::Load(dir));
#ifndef _WIN32
    EmptyTrash();
#endif
    ScriptedHost host;
    ASSERT_EQ(RunUninstall(set.Description(0), Removing(dir, false), fileOp, host), RunOutcome::Completed);
    EXPECT_TRUE(host.Reports.empty()) << host.Reports[0].second;
    // The save data (in any letter case) and what the game wrote later stay,
    // and the host is told so; the installation's own files are gone.
    EXPECT_EQ(test::TreeOf(dir), (StringList{ "SAVE.DAT", "sub\\save.dat" }));
    EXPECT_EQ(host.KeptNames, (StringList{ "SAVE.DAT", "sub\\save.dat" }));
    EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", "none"), "none");
    EXPECT_FALSE(TInstallManifest::Load(dir)); // the record goes last
    // The run left the installation before its files went; the files go
    // first, so that what cannot go keeps the records that lead to it.
    EXPECT_EQ(host.Left, AddBackslash(dir));
    EXPECT_EQ(host.Waits, (std::vector<uint32_t>{ 3000, 1000 }));
    EXPECT_EQ(host.Heading, set.Title() + S(u8" を削除しています"));
    EXPECT_EQ(host.Steps, (std::vector<AnsiString>{ S(u8"ファイルを削除しています..."), S(u8"ショートカットを削除しています..."),
                                                    S(u8"レジストリを削除しています...") }));
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
#ifndef _WIN32
    StringList trashed = Trashed();
    for (const char* name : { "game.exe", "install.dat", "manual", "readme.txt" })
        EXPECT_NE(std::find(trashed.begin(), trashed.end(), name), trashed.end()) << name;
    EXPECT_EQ(std::find(trashed.begin(), trashed.end(), "SAVE.DAT"), trashed.end());
    std::string host_;
    platform::HostPath(dir + "\\readme.txt", host_);
    EXPECT_NE(TrashInfo("readme.txt").find("Path=" + host_), std::string::npos) << TrashInfo("readme.txt");
    EXPECT_NE(TrashInfo("readme.txt").find("DeletionDate="), std::string::npos);
#endif
}

TEST_F(UninstallRun, WithoutARecordTheFolderGoesAsItAlwaysDid)
{
    // An installation made before the record was kept: everything but the
    // save data goes, a save.dat further down with its folder.
    DiscSet set(S(u8"記録なし"), { Game() });
    AnsiString dir = dest / "game";
    Install(set, dir, "SAVE.DAT");
    ASSERT_TRUE(TInstallManifest::Remove(dir));
#ifndef _WIN32
    EmptyTrash();
#endif
    ScriptedHost host;
    ASSERT_EQ(RunUninstall(set.Description(0), Removing(dir, false), fileOp, host), RunOutcome::Completed);
    EXPECT_EQ(test::TreeOf(dir), StringList{ "SAVE.DAT" });
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty()); // the registry value named this folder
    EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", "none"), "none");
#ifndef _WIN32
    EXPECT_TRUE(platform::FileExists(platform::PathFromHost(TrashDir() + "/files/sub/save.dat")));
#endif
    // And with the box checked, the folder goes whole.
    Install(set, dir, "save.dat");
    ASSERT_TRUE(TInstallManifest::Remove(dir));
    ScriptedHost all;
    ASSERT_EQ(RunUninstall(set.Description(0), Removing(dir, true), fileOp, all), RunOutcome::Completed);
    EXPECT_FALSE(platform::DirectoryExists(dir));
}

TEST_F(UninstallRun, CheckedTheSaveDataGoesTooAndAFolderOfTheInstallationGoesWhole)
{
    DiscSet set(S(u8"全部消す"), { Game() });
    AnsiString dir = dest / "with";
    Install(set, dir, "save.dat");
    test::RemoveTree(dir + "\\sub");
#ifndef _WIN32
    EmptyTrash();
#endif
    ScriptedHost host;
    ASSERT_EQ(RunUninstall(set.Description(0), Removing(dir, true), fileOp, host), RunOutcome::Completed);
    EXPECT_FALSE(platform::DirectoryExists(dir));
    EXPECT_TRUE(host.KeptNames.empty());
#ifndef _WIN32
    // The install made the folder and nothing else is in it: one move to the trash.
    EXPECT_EQ(Trashed(), StringList{ ExtractFileName(dir) });
#endif
}

TEST_F(UninstallRun, AFolderThatWasThereKeepsThePersonsFiles)
{
    // Installed into a folder of the person's own (~/Documents, say).
    DiscSet set(S(u8"人のフォルダ"), { Game() });
    AnsiString dir = dest / "documents";
    platform::ForceDirectories(dir + "\\letters");
    test::WriteFile(dir + "\\letters\\mine.txt", "mine");
    test::WriteFile(dir + "\\notes.txt", "notes");
    Install(set, dir, nullptr);
    ScriptedHost host;
    ASSERT_EQ(RunUninstall(set.Description(0), Removing(dir, true), fileOp, host), RunOutcome::Completed);
    EXPECT_EQ(test::TreeOf(dir), (StringList{ "letters\\mine.txt", "notes.txt", "sub\\save.dat" }));
    EXPECT_EQ(host.KeptNames, (StringList{ "letters\\mine.txt", "notes.txt", "sub\\save.dat" }));
}

TEST_F(UninstallRun, DeletionList)
{
    TempDir dir;
    for (const char* name : { "a.txt", "Save.Dat", "save.dat.bak", "sub\\save.dat" }) {
        platform::ForceDirectories(ExtractFilePath(dir / name));
        test::WriteFile(dir / name, "x");
    }
    StringList kept = UninstallDeletionList(dir.Path(), false);
    std::sort(kept.begin(), kept.end());
    // Entries directly inside, subdirectories as one entry without a trailing backslash.
    EXPECT_EQ(kept, (StringList{ dir / "a.txt", dir / "save.dat.bak", dir / "sub" }));
    EXPECT_EQ(UninstallDeletionList(dir.Path(), true), StringList{ ExcludeTrailingBackslash(dir.Path()) });
}

TEST_F(UninstallRun, RefusesDirectoriesThatAreNotThisInstallation)
{
    DiscSet set(S(u8"削除できない"), { Game() });
    TTarnInstallSet installed = set.Description(0);
    installed.Installed = 1;
    TempDir plain, disc, other;
    test::WriteFile(plain / "keep.txt", "x");
    set.Description(0).SaveToFile(disc / "install.dat"); // a disc, not an installation
    TTarnInstallSet foreign = installed;
    foreign.Title = S(u8"別のゲーム");
    foreign.SaveToFile(other / "install.dat");
    // The home (drive C: here) and the Program Files folder, even holding a
    // description of this installation, and a folder that holds the home.
    AnsiString home = "C:\\";
    AnsiString programFiles = GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER);
#ifndef _WIN32
    platform::ForceDirectories(programFiles);
    installed.SaveToFile(home + "install.dat");
    installed.SaveToFile(AddBackslash(programFiles) + "install.dat");
    AnsiString aboveHome = platform::PathFromHost(platform::GetEnv("HOME") + "/..");
    installed.SaveToFile(AddBackslash(aboveHome) + "install.dat");
#endif
    std::vector<AnsiString> refused = { plain.Path(), disc.Path(), other.Path(), home, programFiles };
#ifndef _WIN32
    refused.push_back(aboveHome);
#endif
    for (const AnsiString& dir : refused) {
        EXPECT_FALSE(MayRemoveInstallation(dir, set.Title())) << platform::DisplayPath(dir);
        ScriptedHost host;
        EXPECT_EQ(RunUninstall(installed, Removing(dir, true), fileOp, host), RunOutcome::Failed) << platform::DisplayPath(dir);
        ASSERT_EQ(host.Reports.size(), 1u);
        EXPECT_EQ(host.Reports[0].first, ReportKind::Error);
        EXPECT_NE(host.Reports[0].second.find("は削除できません"), std::string::npos);
        EXPECT_TRUE(host.Heading.empty()); // nothing began
    }
    EXPECT_TRUE(platform::FileExists(plain / "keep.txt"));
    EXPECT_TRUE(platform::DirectoryExists(programFiles));
    // Every drive root and the root of the file system are refused outright.
    for (const AnsiString& p : platform::ProtectedDirectories())
        EXPECT_FALSE(MayRemoveInstallation(p, set.Title())) << platform::DisplayPath(p);
#ifndef _WIN32
    EXPECT_FALSE(MayRemoveInstallation("Z:\\", set.Title()));
    platform::RemoveFile(home + "install.dat");
    platform::RemoveFile(AddBackslash(programFiles) + "install.dat");
    platform::RemoveFile(AddBackslash(aboveHome) + "install.dat");
#endif
    // The installation itself may go.
    TempDir mine;
    installed.SaveToFile(mine / "install.dat");
    EXPECT_TRUE(MayRemoveInstallation(mine.Path(), set.Title()));
}

TEST_F(UninstallRun, AnAbortBeforeTheFilesRemovesNothingAndLaterOnesComeTooLate)
{
    DiscSet set(S(u8"削除の中断"), { Game() });
    AnsiString dir = dest / "game";
    Install(set, dir, nullptr);
    StringList before = test::TreeOf(dir);
    // Confirmed at the first processing point, before the files: nothing removed.
    ScriptedHost first;
    first.OnProcess = [&](int point) {
        if (point == 1)
            first.Aborted = true;
    };
    EXPECT_EQ(RunUninstall(set.Description(0), Removing(dir, true), fileOp, first), RunOutcome::Aborted);
    EXPECT_EQ(test::TreeOf(dir), before);
    EXPECT_FALSE(test::GroupFiles(set.Title()).empty());
    EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", ""), AddBackslash(dir));
    // Once the files have gone the run finishes what leads to them.
    ScriptedHost second;
    second.OnProcess = [&](int point) {
        if (point == 2)
            second.Aborted = true;
    };
    EXPECT_EQ(RunUninstall(set.Description(0), Removing(dir, true), fileOp, second), RunOutcome::Completed);
    EXPECT_EQ(test::TreeOf(dir), StringList{ "sub\\save.dat" });
    EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", "none"), "none");
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
}

} // namespace
