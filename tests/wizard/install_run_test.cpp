// The install run over a scripted host, on disc sets built by the test.
#include <algorithm>

#include "archive/vr_files.h"
#include "wizard/install_rollback.h"
#include "wizard/install_run.h"
#include "wizard/shortcuts.h"
#include "wizard_fixture.h"

using namespace tarn;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::S;
using tarn::test::ScriptedHost;
using tarn::test::TempDir;

namespace {

const std::string kMz = std::string("MZ") + std::string(62, '\0');

DiscContent Disc1()
{
    DiscContent d;
    d.Files = { { "game.exe", kMz + "game" }, { "readme.txt", "read me" }, { "install.exe", kMz + "installer" },
                { "bgm\\title.mid", "MThd" }, { "movie\\op.mpg", "movie one" } };
    d.Entries = { { "scenario\\one.txt", "first disc" }, { "system\\title.gal", "not a picture" } };
    return d;
}

DiscContent Disc2()
{
    DiscContent d;
    d.Files = { { "manual\\manual.html", "<p>manual</p>" }, { "voice\\a.wav", "RIFF" } };
    d.Entries = { { "scenario\\two.txt", "second disc" }, { "scenario\\one.txt", "a duplicate the merge skips" } };
    return d;
}

class InstallRun : public ::testing::Test {
protected:
    RunOptions Choices(bool all, bool data, bool sound, bool movie)
    {
        RunOptions c;
        c.AllDiscs = all;
        c.Data = data;
        c.Sound = sound;
        c.Movie = movie;
        c.Destination = ExcludeTrailingBackslash(dest.Path()) + S(u8"\\ゲーム 100%");
        return c;
    }
    AnsiString T(const RunOptions& c) const { return AddBackslash(c.Destination); }
    // What an aborted or failed run must leave: no trace of an installation,
    // and (the destination was new) not a file of it either.
    void ExpectNothingClaimed(const RunOptions& c, const DiscSet& set)
    {
        EXPECT_FALSE(platform::FileExists(T(c) + "install.dat"));
        EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", "none"), "none");
        EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
    }
    void ExpectNothingLeft(const RunOptions& c, const DiscSet& set)
    {
        ExpectNothingClaimed(c, set);
        EXPECT_FALSE(platform::DirectoryExists(T(c))) << test::TreeOf(T(c)).size() << " files left";
        // The folder the destination lay in was there before: it stays.
        EXPECT_TRUE(platform::DirectoryExists(dest.Path()));
    }
    StringList EntriesOf(const AnsiString& archive)
    {
        TVrFileCollection c;
        c.Open(archive);
        StringList names;
        for (int32_t i = 0; i < c.Count(); ++i)
            if (c.Items(i).Name() != kVrEndMarker)
                names.push_back(c.Items(i).Name());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dest;
    TProgramState state;
    ScriptedHost host;
};

TEST_F(InstallRun, FilterRulesKeepProgramFilesAndTheChosenMedia)
{
    TempDir disc;
    for (const char* name : { "game.exe", "readme.txt", "install.exe", "sub\\game.001", "sub\\GAME.DAT", "save.dat", "notes.Dat",
                              "DirectX\\dxsetup.exe", "winmedia\\mp71.exe", "WINMEDIA\\more\\x.txt", "other\\directx\\kept.txt",
                              "bgm.MP3", "op.mpeg", "a.mp", "b.mpe", "c.12x", "d.-1", "e.0", "f.9999" }) {
        platform::ForceDirectories(ExtractFilePath(disc / name));
        test::WriteFile(disc / name, "x");
    }
    auto names = [&](bool sound, bool movie) {
        RunOptions c;
        c.Sound = sound, c.Movie = movie;
        StringList out;
        for (const AnsiString& f : FilesToCopy(disc.Path(), c))
            out.push_back(f.substr(disc.Path().size()));
        std::sort(out.begin(), out.end());
        return out;
    };
    // Pieces (.001, .0, .9999: up to three digits count), .dat files and the
    // setup folders right below the disc never go; .12x and .-1 are no pieces.
    StringList plain = { "c.12x", "d.-1", "game.exe", "install.exe", "other\\directx\\kept.txt", "readme.txt" };
    EXPECT_EQ(names(false, false), plain);
    StringList all = plain;
    for (const char* media : { "a.mp", "b.mpe", "bgm.MP3", "op.mpeg" })
        all.push_back(media);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(names(true, true), all);
    StringList sound = plain;
    for (const char* media : { "a.mp", "bgm.MP3" })
        sound.push_back(media);
    std::sort(sound.begin(), sound.end());
    EXPECT_EQ(names(true, false), sound);
}

TEST_F(InstallRun, TwoDiscsWithTheSecondBesideTheFirst)
{
    DiscSet set(S(u8"二枚組"), { Disc1(), Disc2() });
    set.LoadState(state, 0);
    state.ModulePath = test::SelfPath();
    RunOptions c = Choices(true, true, true, true);
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);

    // No prompt: disc 2 lay beside disc 1.
    EXPECT_TRUE(host.Asked.empty());
    ASSERT_EQ(host.Found.size(), 2u);
    EXPECT_EQ(host.Found[1].first, 1);
    EXPECT_EQ(host.Found[1].second, set.Disc(1));
    StringList expected = { "bgm\\title.mid", "game.dat", "game.exe", "install.dat", "install.exe", "manual\\manual.html",
                            "movie\\op.mpg", "readme.txt", "voice\\a.wav" };
    EXPECT_EQ(test::TreeOf(T(c)), expected);
    EXPECT_EQ(test::ReadFile(T(c) + "game.exe"), kMz + "game");
#ifndef _WIN32
    // Here the disc's Windows installer cannot run: the program itself stands in.
    EXPECT_EQ(test::ReadFile(T(c) + "install.exe"), test::ReadFile(test::SelfPath()));
#else
    EXPECT_EQ(test::ReadFile(T(c) + "install.exe"), kMz + "installer");
#endif
    // One archive with the entries of both discs, the first disc's copy of a duplicate.
    StringList entries = { "scenario\\one.txt", "scenario\\two.txt", "system\\title.gal" };
    EXPECT_EQ(EntriesOf(T(c) + "game.dat"), entries);
    TVrFileCollection merged;
    merged.Open(T(c) + "game.dat");
    TMemoryStream one;
    merged.LoadEntry(one, "scenario\\one.txt");
    EXPECT_EQ(std::string(one.Bytes().begin(), one.Bytes().end()), "first disc");

    // The description of the last disc read, with Installed set.
    TTarnInstallSet installed;
    installed.LoadFromFile(T(c) + "install.dat");
    EXPECT_EQ(installed.Installed, 1);
    EXPECT_EQ(installed.DiscIndex, 1);
    EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", ""), T(c));
    EXPECT_FALSE(test::GroupFiles(set.Title()).empty());
    EXPECT_EQ(host.Waits, (std::vector<uint32_t>{ 2000, 1000 }));
    EXPECT_EQ(host.Fronts, 1);
    // The bar counts to what every component of both discs needs, and is
    // gone before the steps that follow the copies.
    TTarnInstallSet first = set.Description(0);
    EXPECT_EQ(host.Range, int64_t(first.ProgramTotal) + first.DataTotal + first.SoundTotal + first.MovieTotal);
    EXPECT_FALSE(host.ProgressShown);
    EXPECT_EQ(host.Heading, S(u8"ファイルをコピーしています"));
    EXPECT_EQ(host.Steps, (std::vector<AnsiString>{ S(u8"ショートカットを作成しています"), S(u8"レジストリを更新しています") }));
    EXPECT_TRUE(host.Undone.empty());
    // The bar moved by every file and every entry written: the second merge
    // reports the first disc's entries again.
    int64_t files = 0;
    for (const AnsiString& f : expected)
        if (f != "game.dat" && f != "install.dat")
            files += platform::FileSize(T(c) + f);
    EXPECT_GT(host.Position, files);
}

TEST_F(InstallRun, SecondDiscFromTheCommandLineAndWrongDiscsIgnored)
{
    DiscSet set(S(u8"指定の二枚目"), { Disc1(), Disc2() });
    DiscSet other(S(u8"別のゲーム"), { Disc1(), Disc2() });
    // Beside disc 1: disc 1 again where disc 2 should be, and only the other game's disc 2.
    TempDir elsewhere;
    platform::RenameFile(ExcludeTrailingBackslash(set.Disc(1)), ExcludeTrailingBackslash(elsewhere / "second"));
    set.Write(0, 1);
    for (const AnsiString& f : test::TreeOf(other.Disc(1))) {
        platform::ForceDirectories(ExtractFilePath(set.Root() + "disc3\\" + f));
        ASSERT_TRUE(platform::CopyFileWithAttributes(other.Disc(1) + f, set.Root() + "disc3\\" + f));
    }
    set.LoadState(state, 0);
    RunOptions c = Choices(true, false, false, false);
    c.DiscPaths[2] = elsewhere / "second";
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    ASSERT_EQ(host.Found.size(), 2u);
    EXPECT_EQ(host.Found[1].second, elsewhere / "second\\");
    EXPECT_TRUE(platform::FileExists(T(c) + "manual\\manual.html"));
    // Data not chosen: no archive.
    EXPECT_FALSE(platform::FileExists(T(c) + "game.dat"));
}

TEST_F(InstallRun, MissingDiscPromptsUntilAbortConfirmed)
{
    DiscSet set(S(u8"見つからない二枚目"), { Disc1(), Disc2() });
    test::RemoveTree(set.Disc(1));
    set.LoadState(state, 0);
    RunOptions c = Choices(true, true, false, false);
    host.Answers = { { "ディスク2を入れてからOKをクリックしてください", ui::mrOk },
                     { "ディスク2を入れてから", ui::mrAbort },
                     { "インストールを中断しますか？", ui::mrNo },
                     { "ディスク2を入れてから", ui::mrAbort },
                     { "インストールを中断しますか？", ui::mrYes } };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    EXPECT_TRUE(host.Answers.empty());
    EXPECT_EQ(host.Waits, std::vector<uint32_t>{ 500 }); // after the one OK
    // Disc 1's copies and archive went with the abort: the destination was new.
    ExpectNothingLeft(c, set);
    // The source archive stays closed after an abort in the prompt.
    EXPECT_FALSE(state.GameArchive->Stream);
}

TEST_F(InstallRun, DiscInsertedWhilePromptedIsTaken)
{
    DiscSet set(S(u8"後から入れる"), { Disc1(), Disc2() });
    TempDir later;
    AnsiString second = ExcludeTrailingBackslash(set.Disc(1));
    platform::RenameFile(second, ExcludeTrailingBackslash(later / "d2"));
    set.LoadState(state, 0);
    RunOptions c = Choices(true, false, false, false);
    host.Answers = { { "ディスク2を", ui::mrOk, [&] { platform::RenameFile(ExcludeTrailingBackslash(later / "d2"), second); } } };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    EXPECT_TRUE(platform::FileExists(T(c) + "manual\\manual.html"));
}

TEST_F(InstallRun, ThisDiscOnlyOnTheSecondDisc)
{
    DiscSet set(S(u8"二枚目だけ"), { Disc1(), Disc2() });
    set.LoadState(state, 1);
    RunOptions c = Choices(false, true, true, true);
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    EXPECT_EQ(test::TreeOf(T(c)), (StringList{ "game.dat", "install.dat", "manual\\manual.html", "voice\\a.wav" }));
    EXPECT_EQ(EntriesOf(T(c) + "game.dat"), (StringList{ "scenario\\one.txt", "scenario\\two.txt" }));
}

TEST_F(InstallRun, AbortDuringCopyingLeavesNothing)
{
    DiscSet set(S(u8"コピー中の中断"), { Disc1(), Disc2() });
    set.LoadState(state, 0);
    RunOptions c = Choices(true, true, true, true);
    // The abort is confirmed while the third file is announced: two are copied.
    host.OnProcess = [&](int point) {
        if (point == 3) {
            EXPECT_EQ(test::TreeOf(T(c)).size(), 2u);
            host.Aborted = true;
        }
    };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    EXPECT_EQ(host.Points, 3); // nothing more was done
    ExpectNothingLeft(c, set);
}

TEST_F(InstallRun, AbortDuringTheLastMergeLeavesNothing)
{
    DiscSet set(S(u8"統合中の中断"), { Disc1(), Disc2() });
    set.LoadState(state, 0);
    RunOptions c = Choices(true, true, false, false);
    host.OnProcess = [&](int) {
        if (host.Found.size() == 2 && host.Items.back() == S(u8"データファイルを構築中..."))
            host.Aborted = true;
    };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    EXPECT_FALSE(platform::FileExists(T(c) + "$$tinstwk.dat"));
    ExpectNothingLeft(c, set);
}

TEST_F(InstallRun, AnAbortIntoAFolderInUseKeepsWhatWasThere)
{
    DiscSet set(S(u8"使用中のフォルダ"), { Disc1(), Disc2() });
    set.LoadState(state, 0);
    RunOptions c = Choices(true, true, false, false);
    c.AcceptNonEmpty = true; // the person said yes to the folder
    // A folder that already holds a file of the person's and an older description.
    platform::ForceDirectories(T(c));
    test::WriteFile(T(c) + "mine.txt", "the person's");
    test::WriteFile(T(c) + "install.dat", "an older description");
    host.Answers = { { "ディスク2を", ui::mrAbort }, { "インストールを中断しますか？", ui::mrYes } };
    test::RemoveTree(set.Disc(1));
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    EXPECT_EQ(test::ReadFile(T(c) + "mine.txt"), "the person's");
    EXPECT_EQ(test::ReadFile(T(c) + "install.dat"), "an older description");
    // Copies into a folder that was in use stay: they may be an earlier installation's.
    EXPECT_TRUE(platform::FileExists(T(c) + "game.exe"));
    EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", "none"), "none");
}

TEST_F(InstallRun, WhatWasClaimedIsPutBackInOrder)
{
    // What a run that fails after its claim rolls back: the registry value,
    // the group, the description, then the copies and folders it made.
    DiscSet set(S(u8"元に戻す"), { Disc1() });
    TTarnInstallSet description = set.Description(0);
    AnsiString t = dest / S(u8"新しい\\ゲーム\\");
    InstallRollback rollback(t, description);
    rollback.MakingDirectory(t + "bgm");
    ASSERT_TRUE(platform::ForceDirectories(t + "bgm"));
    // The copies (the group's items need their programs: a shell makes no
    // link to a file that is not there).
    for (const char* copied : { "bgm\\a.mid", "game.exe", "install.exe" }) {
        rollback.Writing(t + copied);
        test::WriteFile(t + copied, "copied");
    }
    rollback.BuildingArchive(t + "game.dat");
    test::WriteFile(t + "game.dat", "archive");
    test::WriteFile(t + "game.001", "its piece");
    rollback.WritingDescription();
    description.Installed = 1;
    description.SaveToFile(t + "install.dat");
    rollback.MakingGroup();
    ASSERT_TRUE(CreateShortcuts(description, t, "", host));
    ASSERT_FALSE(test::GroupFiles(set.Title()).empty());
    rollback.WritingRegistry();
    description.WriteRegString("InstallPath", t);

    rollback.RollBack(description, host);
    EXPECT_EQ(description.ReadRegString("InstallPath", "none"), "none");
    EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
    // Both new folders went: nothing is left of the installation.
    EXPECT_FALSE(platform::DirectoryExists(dest / S(u8"新しい")));
    EXPECT_TRUE(platform::DirectoryExists(dest.Path()));
    EXPECT_EQ(host.Undone.size(), 3u) << ::testing::PrintToString(host.Undone); // the registry, the description, the copies
}

TEST_F(InstallRun, ARollbackKeepsAnEarlierInstallationsClaims)
{
    DiscSet set(S(u8"前のインストール"), { Disc1() });
    TTarnInstallSet description = set.Description(0);
    AnsiString t = dest / "game\\";
    platform::ForceDirectories(t);
    test::WriteFile(t + "install.dat", "the earlier description");
    test::WriteFile(t + "save.dat", "progress");
    description.WriteRegString("InstallPath", t);
    InstallRollback rollback(t, description);
    rollback.Writing(t + "new.txt");
    test::WriteFile(t + "new.txt", "copied");
    rollback.WritingDescription();
    description.SaveToFile(t + "install.dat");
    rollback.MakingGroup();
    rollback.WritingRegistry();
    description.WriteRegString("InstallPath", dest / "elsewhere\\");

    rollback.RollBack(description, host);
    // The earlier value and description are back; the folder was in use, so
    // its files (the copy among them) stay; no command touches the earlier group.
    EXPECT_EQ(description.ReadRegString("InstallPath", ""), t);
    EXPECT_EQ(test::ReadFile(t + "install.dat"), "the earlier description");
    EXPECT_EQ(test::ReadFile(t + "save.dat"), "progress");
    EXPECT_TRUE(platform::FileExists(t + "new.txt"));
    EXPECT_TRUE(host.Commands.empty());
}

TEST_F(InstallRun, AbortAfterTheLastCheckStillCompletes)
{
    DiscSet set(S(u8"遅い中断"), { Disc1() });
    set.LoadState(state, 0);
    RunOptions c = Choices(false, false, false, false);
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    // An abort confirmed from the shortcuts' step on changes nothing: the
    // installation is claimed by then. (The run over the installation reads
    // what it finds again on two threads, so the number of points before
    // that step differs from run to run; the step itself is the mark.)
    ScriptedHost again;
    bool reached = false;
    again.OnProcess = [&](int) {
        if (!again.Steps.empty() && again.Steps.back() == S(u8"ショートカットを作成しています"))
            again.Aborted = reached = true;
    };
    EXPECT_EQ(RunInstall(state, c, again), RunOutcome::Completed);
    EXPECT_TRUE(reached);
    EXPECT_TRUE(platform::FileExists(T(c) + "install.dat"));
}

TEST_F(InstallRun, ReinstallCopiesOnlyWhatChanged)
{
    DiscSet set(S(u8"再インストール"), { Disc1() });
    set.LoadState(state, 0);
    RunOptions c = Choices(false, false, false, false);
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    // Change the installed read-me without changing its size or time: its
    // bytes are not what the record says, so it is copied again.
    AnsiString readme = T(c) + "readme.txt";
    std::optional<uint32_t> stamp = platform::FileDosDateTime(readme);
    test::WriteFile(readme, "READ ME");
    platform::SetFileTimeUnix(readme, 1600000000);
    platform::SetFileTimeUnix(set.Disc(0) + "readme.txt", 1600000000);
    ASSERT_TRUE(stamp);
    // The game program changed on the disc: it is copied again.
    test::WriteFile(set.Disc(0) + "game.exe", kMz + "game, patched");
    ScriptedHost second;
    ASSERT_EQ(RunInstall(state, c, second), RunOutcome::Completed);
    EXPECT_EQ(test::ReadFile(readme), "read me");
    EXPECT_EQ(test::ReadFile(T(c) + "game.exe"), kMz + "game, patched");
    // The bar advanced by the files found complete as by those copied.
    EXPECT_EQ(second.Position, host.Position + 9);
}

TEST_F(InstallRun, FailedCopyAsksAndNoEndsTheRun)
{
    DiscSet set(S(u8"コピー失敗"), { Disc1() });
    set.LoadState(state, 0);
    RunOptions c = Choices(false, false, false, false);
    c.AcceptNonEmpty = true;
    // A read-only file of another size in the way: it is not overwritten.
    platform::ForceDirectories(T(c));
    test::WriteFile(T(c) + "readme.txt", "old");
    platform::FileSetAttr(T(c) + "readme.txt", faReadOnly);
    host.Answers = { { "readme.txt をコピーできませんでした。インストールを続けますか？", ui::mrNo } };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    ExpectNothingClaimed(c, set);
    EXPECT_EQ(test::ReadFile(T(c) + "readme.txt"), "old");
    // Yes goes on with the rest.
    ScriptedHost yes;
    yes.Answers = { { "readme.txt をコピーできませんでした", ui::mrYes } };
    EXPECT_EQ(RunInstall(state, c, yes), RunOutcome::Completed);
    EXPECT_TRUE(platform::FileExists(T(c) + "install.dat"));
    platform::FileSetAttr(T(c) + "readme.txt", 0);
}

TEST_F(InstallRun, DirectoryThatCannotBeMadeClosesWithOk)
{
    DiscSet set(S(u8"作れない"), { Disc1() });
    set.LoadState(state, 0);
    RunOptions c = Choices(false, false, true, false);
    c.AcceptNonEmpty = true;
    platform::ForceDirectories(T(c));
    test::WriteFile(T(c) + "bgm", "a file where the folder should be");
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Failed);
    ASSERT_EQ(host.Reports.size(), 1u);
    // The box's text, then which folder and what the system said.
    EXPECT_EQ(host.Reports[0].first, ReportKind::Warning);
    const std::string folder = AnsiToHostUtf8(platform::ShownPath(T(c) + "bgm"));
    EXPECT_EQ(host.Reports[0].second.rfind("ディレクトリを作成できませんでした\n" + folder + ": ", 0), 0u)
        << host.Reports[0].second;
    ExpectNothingClaimed(c, set);
    // An empty destination would put the files into the current drive's root.
    RunOptions none = c;
    none.Destination = "";
    ScriptedHost empty;
    EXPECT_EQ(RunInstall(state, none, empty), RunOutcome::Failed);
    EXPECT_EQ(empty.Reports.size(), 1u);
}

TEST_F(InstallRun, LargeFilesMoveTheBarWhileTheyAreCopied)
{
    DiscContent d;
    d.Files = { { "big.bin", std::string(size_t(20) << 20, 'b') }, { "small.txt", "s" } };
    DiscSet set(S(u8"大きいファイル"), { d });
    set.LoadState(state, 0);
    RunOptions c = Choices(false, false, false, false);
    std::vector<int64_t> seen;
    host.OnProcess = [&](int) { seen.push_back(host.Position); };
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    EXPECT_EQ(platform::FileSize(T(c) + "big.bin"), int64_t(20) << 20);
    // Messages were processed between the pieces, with the bar in between.
    int inside = 0;
    for (int64_t p : seen)
        inside += p > 0 && p < (int64_t(20) << 20) ? 1 : 0;
    EXPECT_GE(inside, 2);
    EXPECT_EQ(host.Position, (int64_t(20) << 20) + 1);
}

TEST_F(InstallRun, AnAbortInsideALargeFileStopsItsCopyAtOnce)
{
    DiscContent d;
    d.Files = { { "movie.bin", "m" }, { "small.txt", "s" } };
    DiscSet set(S(u8"大きいファイルの中断"), { d });
    {
        // 256 MiB without writing them: a file with a hole.
        auto big = platform::File::Open(set.Disc(0) + "movie.bin", platform::File::Mode::ReadWrite);
        ASSERT_TRUE(big && big->SetSize(int64_t(256) << 20));
    }
    set.LoadState(state, 0);
    RunOptions c = Choices(false, false, false, false);
    int64_t before = 0, largestStep = 0;
    host.OnProcess = [&](int) {
        largestStep = std::max(largestStep, host.Position - before);
        before = host.Position;
        if (host.Position >= int64_t(64) << 20)
            host.Aborted = true;
    };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    // The run listened every 2 MiB at most and did nothing more after the
    // abort: the copy stopped in the middle, and its half is gone.
    EXPECT_LE(largestStep, int64_t(2) << 20);
    EXPECT_EQ(host.PositionAfterAbort, 0);
    EXPECT_LT(host.Position, int64_t(70) << 20);
    ExpectNothingLeft(c, set);
}

} // namespace
