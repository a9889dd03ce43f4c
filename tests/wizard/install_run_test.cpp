// The install run over a scripted host, on disc sets built by the test.
#include <algorithm>

#include "archive/vr_files.h"
#include "wizard/install_run.h"
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
    InstallChoices Choices(bool all, bool data, bool sound, bool movie)
    {
        InstallChoices c;
        c.AllDiscs = all;
        c.Data = data;
        c.Sound = sound;
        c.Movie = movie;
        c.Destination = ExcludeTrailingBackslash(dest.Path()) + S(u8"\\ゲーム 100%");
        c.NeededSize = 12345;
        return c;
    }
    AnsiString T(const InstallChoices& c) const { return AddBackslash(c.Destination); }
    // What an aborted or failed run must leave: no trace of an installation.
    void ExpectNothingClaimed(const InstallChoices& c, const DiscSet& set)
    {
        EXPECT_FALSE(platform::FileExists(T(c) + "install.dat"));
        EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", "none"), "none");
        EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
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
        InstallChoices c;
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
    InstallChoices c = Choices(true, true, true, true);
    std::vector<std::pair<int, AnsiString>> found;
    RunEvents events;
    events.DiscFound = [&](int i, const AnsiString& dir, const StringList&) { found.push_back({ i, dir }); };
    ASSERT_EQ(RunInstall(state, c, host, events), RunOutcome::Completed);

    // No prompt: disc 2 lay beside disc 1.
    EXPECT_TRUE(host.Asked.empty());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].first, 1);
    EXPECT_EQ(found[1].second, set.Disc(1));
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
    EXPECT_EQ(host.Pages, std::vector<int>{ 6 });
    EXPECT_EQ(host.Fronts, 1);
    EXPECT_EQ(host.Range, 12345);
    EXPECT_FALSE(host.Visible[RunControl::btnBack]);
    EXPECT_FALSE(host.Visible[RunControl::btnNext]);
    EXPECT_FALSE(host.Visible[RunControl::Progress]);
    EXPECT_EQ(host.Texts[RunText::LabelCopyCap], S(u8"レジストリを更新しています"));
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
    state.DiscPaths[2] = elsewhere / "second";
    InstallChoices c = Choices(true, false, false, false);
    std::vector<AnsiString> found;
    RunEvents events;
    events.DiscFound = [&](int, const AnsiString& dir, const StringList&) { found.push_back(dir); };
    ASSERT_EQ(RunInstall(state, c, host, events), RunOutcome::Completed);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1], elsewhere / "second\\");
    EXPECT_TRUE(platform::FileExists(T(c) + "manual\\manual.html"));
    // Data not chosen: no archive.
    EXPECT_FALSE(platform::FileExists(T(c) + "game.dat"));
}

TEST_F(InstallRun, MissingDiscPromptsUntilAbortConfirmed)
{
    DiscSet set(S(u8"見つからない二枚目"), { Disc1(), Disc2() });
    test::RemoveTree(set.Disc(1));
    set.LoadState(state, 0);
    InstallChoices c = Choices(true, true, false, false);
    host.Answers = { { "ディスク2を入れてからOKをクリックしてください", ui::mrOk },
                     { "ディスク2を入れてから", ui::mrAbort },
                     { "インストールを中断しますか？", ui::mrNo },
                     { "ディスク2を入れてから", ui::mrAbort },
                     { "インストールを中断しますか？", ui::mrYes } };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    EXPECT_TRUE(host.Answers.empty());
    EXPECT_EQ(host.ModalResult, ui::mrAbort);
    EXPECT_EQ(host.Waits, std::vector<uint32_t>{ 500 }); // after the one OK
    // Disc 1's files and archive stay; nothing claims an installation.
    EXPECT_TRUE(platform::FileExists(T(c) + "game.exe"));
    EXPECT_EQ(EntriesOf(T(c) + "game.dat"), (StringList{ "scenario\\one.txt", "system\\title.gal" }));
    ExpectNothingClaimed(c, set);
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
    InstallChoices c = Choices(true, false, false, false);
    host.Answers = { { "ディスク2を", ui::mrOk, [&] { platform::RenameFile(ExcludeTrailingBackslash(later / "d2"), second); } } };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    EXPECT_TRUE(platform::FileExists(T(c) + "manual\\manual.html"));
}

TEST_F(InstallRun, ThisDiscOnlyOnTheSecondDisc)
{
    DiscSet set(S(u8"二枚目だけ"), { Disc1(), Disc2() });
    set.LoadState(state, 1);
    InstallChoices c = Choices(false, true, true, true);
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    EXPECT_EQ(test::TreeOf(T(c)), (StringList{ "game.dat", "install.dat", "manual\\manual.html", "voice\\a.wav" }));
    EXPECT_EQ(EntriesOf(T(c) + "game.dat"), (StringList{ "scenario\\one.txt", "scenario\\two.txt" }));
}

TEST_F(InstallRun, AbortDuringCopying)
{
    DiscSet set(S(u8"コピー中の中断"), { Disc1(), Disc2() });
    set.LoadState(state, 0);
    InstallChoices c = Choices(true, true, true, true);
    // Point 1 follows step 1; the click lands while the third file is announced.
    host.OnProcess = [&](int point) {
        if (point == 4)
            host.ModalResult = ui::mrAbort;
    };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    EXPECT_EQ(test::TreeOf(T(c)).size(), 2u); // the two files before it
    EXPECT_FALSE(platform::FileExists(T(c) + "game.dat"));
    ExpectNothingClaimed(c, set);
}

TEST_F(InstallRun, AbortDuringTheLastMergeKeepsTheFirstArchive)
{
    DiscSet set(S(u8"統合中の中断"), { Disc1(), Disc2() });
    set.LoadState(state, 0);
    InstallChoices c = Choices(true, true, false, false);
    int disc = 0;
    RunEvents events;
    events.DiscFound = [&](int i, const AnsiString&, const StringList&) { disc = i; };
    host.OnProcess = [&](int) {
        if (disc == 1 && host.Texts[RunText::LabelCopy] == S(u8"データファイルを構築中..."))
            host.ModalResult = ui::mrAbort;
    };
    EXPECT_EQ(RunInstall(state, c, host, events), RunOutcome::Aborted);
    // The aborted merge left the archive of the first disc as it was.
    EXPECT_EQ(EntriesOf(T(c) + "game.dat"), (StringList{ "scenario\\one.txt", "system\\title.gal" }));
    EXPECT_FALSE(platform::FileExists(T(c) + "$$tinstwk.dat"));
    ExpectNothingClaimed(c, set);
}

TEST_F(InstallRun, AbortAfterTheLastCheckStillCompletes)
{
    DiscSet set(S(u8"遅い中断"), { Disc1() });
    set.LoadState(state, 0);
    InstallChoices c = Choices(false, false, false, false);
    int last = 0;
    host.OnProcess = [&](int point) { last = point; };
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    // A click confirmed at the processing after the shortcuts changes nothing.
    ScriptedHost again;
    again.OnProcess = [&](int point) {
        if (point == last - 1)
            again.ModalResult = ui::mrAbort;
    };
    EXPECT_EQ(RunInstall(state, c, again), RunOutcome::Completed);
    EXPECT_EQ(again.ModalResult, ui::mrAbort); // the wizard then closes at once
    EXPECT_TRUE(platform::FileExists(T(c) + "install.dat"));
}

TEST_F(InstallRun, ReinstallCopiesOnlyWhatChanged)
{
    DiscSet set(S(u8"再インストール"), { Disc1() });
    set.LoadState(state, 0);
    InstallChoices c = Choices(false, false, false, false);
    ASSERT_EQ(RunInstall(state, c, host), RunOutcome::Completed);
    // Mark the installed read-me without changing its size or time: a copy would undo the mark.
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
    EXPECT_EQ(test::ReadFile(readme), "READ ME");
    EXPECT_EQ(test::ReadFile(T(c) + "game.exe"), kMz + "game, patched");
    // The bar still advanced by the skipped file.
    EXPECT_EQ(second.Position, host.Position + 9);
}

TEST_F(InstallRun, FailedCopyAsksAndNoEndsTheRun)
{
    DiscSet set(S(u8"コピー失敗"), { Disc1() });
    set.LoadState(state, 0);
    InstallChoices c = Choices(false, false, false, false);
    // A read-only file of another size in the way: it is not overwritten.
    platform::ForceDirectories(T(c));
    test::WriteFile(T(c) + "readme.txt", "old");
    platform::FileSetAttr(T(c) + "readme.txt", faReadOnly);
    host.Answers = { { "readme.txt をコピーできませんでした。インストールを続けますか？", ui::mrNo } };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Aborted);
    EXPECT_EQ(host.ModalResult, ui::mrAbort);
    ExpectNothingClaimed(c, set);
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
    InstallChoices c = Choices(false, false, true, false);
    platform::ForceDirectories(T(c));
    test::WriteFile(T(c) + "bgm", "a file where the folder should be");
    host.Answers = { { "ディレクトリを作成できませんでした", ui::mrOk } };
    EXPECT_EQ(RunInstall(state, c, host), RunOutcome::Failed);
    EXPECT_EQ(host.ModalResult, ui::mrOk);
    ExpectNothingClaimed(c, set);
    // An empty destination would put the files into the current drive's root.
    InstallChoices none = c;
    none.Destination = "";
    ScriptedHost empty;
    empty.Answers = { { "ディレクトリを作成できませんでした", ui::mrOk } };
    EXPECT_EQ(RunInstall(state, none, empty), RunOutcome::Failed);
}

TEST_F(InstallRun, LargeFilesMoveTheBarWhileTheyAreCopied)
{
    DiscContent d;
    d.Files = { { "big.bin", std::string(size_t(20) << 20, 'b') }, { "small.txt", "s" } };
    DiscSet set(S(u8"大きいファイル"), { d });
    set.LoadState(state, 0);
    InstallChoices c = Choices(false, false, false, false);
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

} // namespace
