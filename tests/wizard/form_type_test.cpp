// The wizard's form through the null backend: pages, navigation, the
// proposed destination, and whole runs clicked through as a person would.
#include <cstring>

#include "ui/application.h"
#include "ui/console/console_backend.h"
#include "ui/message_dialog.h"
#include "ui/null_backend.h"
#include "wizard/form_type.h"
#include "wizard_fixture.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

DiscContent DiscA()
{
    DiscContent d;
    // install.exe: the uninstaller's menu item needs its program (without it
    // the Windows shell makes no item, and the run warns).
    d.Files = { { "game.exe", "MZa" }, { "install.exe", "MZi" }, { "bgm\\a.mid", "MThd" } };
    d.Entries = { { "scenario\\a.txt", "a" } };
    return d;
}

DiscContent DiscB()
{
    DiscContent d;
    d.Files = { { "extra.txt", "b" } }; // no sound, no movie on this disc
    d.Entries = { { "scenario\\b.txt", "b" } };
    return d;
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<NullBackend>();
        backend = b.get();
        App().SetBackend(std::move(b));
        cwd = platform::CurrentDirectory();
    }
    void TearDown() override { platform::ChangeDirectory(cwd); }
    // Clicks a control of the wizard (not of a message box on top of it).
    static void Click(TFormType& w, Control& c)
    {
        ASSERT_TRUE(c.Showing()) << c.Name() << " on page " << w.PageIndex();
        c.Click();
    }

    NullBackend* backend = nullptr;
    AnsiString cwd;
    TProgramState state;
    // Nobody waits for a program manager here.
    RunOptions options = [] {
        RunOptions o;
        o.Pauses = false;
        return o;
    }();
};

TEST_F(Wizard, LayoutOfTheForm)
{
    DiscSet set(S(u8"配置"), { DiscA(), DiscB() });
    set.LoadState(state, 0);
    TFormType w(state, options, nullptr);
    EXPECT_EQ(w.ClientWidth(), 383);
    EXPECT_EQ(w.ClientHeight(), 269);
    EXPECT_EQ(w.Font().Name, S(u8"ＭＳ Ｐゴシック"));
    EXPECT_EQ(w.Notebook.Pages().size(), 10u);
    EXPECT_EQ(w.Notebook.Height(), 229);
    EXPECT_EQ(w.Bevel1.Top(), 229);
    EXPECT_EQ(std::make_tuple(w.btnBack.Left(), w.btnNext.Left(), w.btnAbort.Left(), w.btnNext.Top()), std::make_tuple(132, 212, 304, 236));
    EXPECT_TRUE(w.btnNext.Default());
    EXPECT_EQ(w.btnBack.Caption(), S(u8"< 戻る(&B)"));
    EXPECT_EQ(w.btnAbort.Caption(), S(u8"中断(&A)"));
    EXPECT_EQ(std::make_tuple(w.Directory.Left(), w.Directory.Top(), w.Directory.Width(), w.Directory.Height(), w.Directory.ItemHeight),
              std::make_tuple(16, 52, 237, 113, 16));
    EXPECT_EQ(std::make_tuple(w.Progress.Left(), w.Progress.Top(), w.Progress.Width()), std::make_tuple(16, 192, 349));
    EXPECT_EQ(&w.CheckDelSave.Parent(), static_cast<Container*>(&w.uninst));
    EXPECT_TRUE(w.CheckProg.Checked());
    EXPECT_FALSE(w.CheckProg.Enabled());
    EXPECT_EQ(w.RadioDiskAll.Caption(), S(u8"全ての" "CD-ROM" "をインストール"));
    EXPECT_EQ(w.RadioDiskThis.Caption(), S(u8"この" "CD-ROM" "をインストール"));
    EXPECT_EQ(w.LabelUninst.Caption(), set.Title() + S(u8" をコンピュータから削除します"));
}

TEST_F(Wizard, StartPagesByDisc)
{
    DiscSet two(S(u8"開始ページ"), { DiscA(), DiscB() });
    {
        two.LoadState(state, 0);
        TFormType w(state, options, nullptr);
        EXPECT_EQ(w.PageIndex(), pgMedia);
        EXPECT_TRUE(w.RadioDiskAll.Checked());
        EXPECT_EQ(w.Caption(), S(u8"インストールするCD-ROM"));
        EXPECT_TRUE(w.btnBack.Visible());
        EXPECT_TRUE(w.btnBack.Enabled());
    }
    {
        // From the second disc: no disc choice, this disc's sizes.
        two.LoadState(state, 1);
        TFormType w(state, options, nullptr);
        EXPECT_EQ(w.PageIndex(), pgFile);
        EXPECT_FALSE(w.RadioDiskAll.Checked());
        EXPECT_FALSE(w.RadioDiskThis.Checked());
        EXPECT_FALSE(w.CheckSound.Visible()); // disc 2 holds no sound
        EXPECT_TRUE(w.CheckData.Visible());
        // What the disc holds starts chosen; the person may leave it.
        EXPECT_TRUE(w.CheckData.Checked());
        EXPECT_EQ(w.NeededSize, 2);
        Click(w, w.CheckData);
        EXPECT_EQ(w.NeededSize, 1); // extra.txt
        EXPECT_EQ(w.LabelSize.Caption(), S(u8"最低 0.00 MBのディスクの空き容量が必要です"));
        // Back from the component page leads to the first page when this disc only applies.
        Click(w, w.btnBack);
        EXPECT_EQ(w.PageIndex(), pgInst);
        EXPECT_EQ(w.Caption(), S(u8"処理を選択"));
        EXPECT_FALSE(w.btnBack.Enabled());
        Click(w, w.btnNext);
        EXPECT_EQ(w.PageIndex(), pgFile);
        EXPECT_FALSE(w.CheckData.Checked()); // the person's choice, not the first look's
        EXPECT_EQ(w.NeededSize, 1);
    }
    {
        DiscSet single(S(u8"一枚だけ"), { DiscA() });
        single.LoadState(state, 0);
        TFormType w(state, options, nullptr);
        EXPECT_EQ(w.PageIndex(), pgFile);
        EXPECT_TRUE(w.CheckSound.Visible());
        EXPECT_FALSE(w.CheckMovie.Visible());
        Click(w, w.btnBack);
        EXPECT_EQ(w.PageIndex(), pgInst);
    }
}

TEST_F(Wizard, InstallPathForwardAndBack)
{
    DiscSet set(S(u8"進む戻る"), { DiscA(), DiscB() });
    set.LoadState(state, 0);
    TFormType w(state, options, nullptr);
    Click(w, w.btnNext);
    EXPECT_EQ(w.PageIndex(), pgFile);
    Click(w, w.btnBack); // all discs: back to the disc choice
    EXPECT_EQ(w.PageIndex(), pgMedia);
    Click(w, w.RadioDiskThis);
    Click(w, w.btnNext);
    EXPECT_EQ(w.NeededSize, 11); // disc 1's program (game.exe, install.exe) and its sound, chosen at the first look
    Click(w, w.btnBack);
    EXPECT_EQ(w.PageIndex(), pgInst);
    Click(w, w.btnNext);
    EXPECT_EQ(w.PageIndex(), pgMedia);
    Click(w, w.btnNext);
    Click(w, w.btnNext);
    EXPECT_EQ(w.PageIndex(), pgSelDir);
    EXPECT_EQ(w.Caption(), S(u8"インストール先の選択"));
    EXPECT_NE(AnsiToHostUtf8(w.LabelSzDrv.Caption()).find(" MBの空きがあります"), std::string::npos);
    EXPECT_EQ(w.LabelSzNeed.Caption(), S(u8"インストールには最低 0.00 MBのディスクの空き容量が必要です"));
    Click(w, w.btnNext);
    EXPECT_EQ(w.PageIndex(), pgConfirm);
    EXPECT_EQ(w.btnNext.Caption(), S(u8"インストール"));
    Click(w, w.btnBack);
    EXPECT_EQ(w.btnNext.Caption(), S(u8"次へ(&N) >"));
}

class HomeGames : public Wizard {
protected:
    void SetUp() override
    {
        Wizard::SetUp();
        games = GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER);
        existed = platform::DirectoryExists(games);
        platform::ForceDirectories(games);
        // A folder of this run's own: Program Files is shared by every test
        // program under one Wine prefix.
        studio = "TarnStudio" + test::RunId();
    }
    void TearDown() override
    {
        Wizard::TearDown(); // out of the folders first: a current directory cannot be removed on Windows
        test::RemoveTree(games + "\\" + studio);
        if (!existed)
            test::RemoveTree(games);
    }
    AnsiString games, studio;
    bool existed = false;
};

TEST_F(HomeGames, ProposesProgramFilesWithTheSuffix)
{
    DiscSet set(S(u8"提案"), { DiscA() });
    set.DefaultDir = "<ProgramFiles>\\" + studio + "\\Game";
    set.Write(0, 0);
    set.LoadState(state, 0);
    TFormType w(state, options, nullptr);
    EXPECT_EQ(w.EditDir.Text(), platform::ShownPath(games + "\\" + studio + "\\Game"));
    EXPECT_EQ(w.DirSuffix, studio + "\\Game");
    EXPECT_EQ(w.Directory.Directory(), games);
    EXPECT_EQ(platform::CurrentDirectory(), games);
    EXPECT_EQ(w.Drive.Drive(), games[0]);
    // Browsing to another directory X shows X\Studio\Game.
    TempDir x;
    w.Directory.SetDirectory(x.Path());
    EXPECT_EQ(w.EditDir.Text(), platform::ShownPath(x.Path() + studio + "\\Game"));
}

TEST_F(HomeGames, AnExistingFirstFolderIsNotDoubled)
{
    platform::ForceDirectories(games + "\\" + studio);
    DiscSet set(S(u8"二重にしない"), { DiscA() });
    set.DefaultDir = "<ProgramFiles>\\" + studio + "\\Game";
    set.Write(0, 0);
    set.LoadState(state, 0);
    TFormType w(state, options, nullptr);
    EXPECT_EQ(w.Directory.Directory(), games + "\\" + studio);
    EXPECT_EQ(w.EditDir.Text(), platform::ShownPath(games + "\\" + studio + "\\Game"));
}

TEST_F(Wizard, ProposalFromTheRegistryAndMissingLevels)
{
    TempDir recorded;
    DiscSet set(S(u8"登録済み"), { DiscA() });
    set.Description(0).WriteRegString("InstallPath", recorded.Path());
    set.LoadState(state, 0);
    {
        TFormType w(state, options, nullptr);
        EXPECT_EQ(w.EditDir.Text(), platform::ShownPath(ExcludeTrailingBackslash(recorded.Path())));
        EXPECT_EQ(w.DirSuffix, "");
        EXPECT_EQ(w.Directory.Directory(), ExcludeTrailingBackslash(recorded.Path()));
        // Browsing shows the browsed directory alone.
        w.Directory.SetDirectory(ExtractFilePath(ExcludeTrailingBackslash(recorded.Path())));
        EXPECT_EQ(w.EditDir.Text(),
                  platform::ShownPath(ExcludeTrailingBackslash(ExtractFilePath(ExcludeTrailingBackslash(recorded.Path())))));
    }
    // A recorded directory that is gone counts as none; three missing levels
    // leave the list on the nearest folder that exists.
    set.Description(0).WriteRegString("InstallPath", recorded / "gone\\");
    set.DefaultDir = "\\TarnDeep\\A\\B";
    set.Write(0, 0);
    set.LoadState(state, 0);
    TFormType w(state, options, nullptr);
    AnsiString windowsDrive = platform::WindowsDirectory().substr(0, 1);
    EXPECT_EQ(w.EditDir.Text(), platform::ShownPath(windowsDrive + ":\\TarnDeep\\A\\B"));
    EXPECT_EQ(w.Directory.Directory(), windowsDrive + ":\\");
}

TEST_F(Wizard, CloseBoxAndAbortButton)
{
    DiscSet set(S(u8"閉じる"), { DiscA() });
    set.LoadState(state, 0);
    {
        // Pages 0 to 4: the Cancel question; No keeps the wizard open.
        TFormType w(state, options, nullptr);
        backend->Then([&](Form&) { Click(w, w.btnAbort); });
        backend->Then([](Form& box) {
            EXPECT_EQ(box.Find("Message")->Caption(), S(u8"インストールを中断しますか？"));
            AnswerMessage(box, mrNo);
        });
        backend->Then([&](Form& f) { f.CloseRequested(); });
        backend->Then([](Form& box) { AnswerMessage(box, mrYes); });
        EXPECT_EQ(w.ShowModal(), mrCancel);
        EXPECT_EQ(backend->PendingSteps(), 0u);
    }
    {
        // The last page: the close box asks, the button (now 閉じる) closes at once.
        TFormType w(state, options, nullptr);
        w.ShowPage(pgExit);
        EXPECT_EQ(w.btnAbort.Caption(), S(u8"閉じる(&C)"));
        backend->Then([](Form& f) { f.CloseRequested(); });
        backend->Then([](Form& box) { AnswerMessage(box, mrNo); });
        backend->Then([&](Form&) { Click(w, w.btnAbort); });
        EXPECT_EQ(w.ShowModal(), mrOk);
        EXPECT_EQ(backend->PendingSteps(), 0u);
    }
}

TEST_F(Wizard, WholeInstallClickedThrough)
{
    DiscSet set(S(u8"全部クリック"), { DiscA(), DiscB() });
    set.LoadState(state, 0);
    TempDir dest;
    TFormType w(state, options, nullptr);
    int during = 0;
    backend->OnProcessMessages = [&] {
        if (w.PageIndex() != pgCopy || !w.RunInProgress())
            return;
        // Back and Next do nothing while the run goes on.
        ++during;
        w.btnBack.Click();
        w.btnNext.Click();
        EXPECT_EQ(w.PageIndex(), pgCopy);
    };
    backend->Then([&](Form&) { Click(w, w.btnNext); });                // disc choice -> components
    backend->Then([&](Form&) { EXPECT_TRUE(w.CheckData.Checked()); });
    backend->Then([&](Form&) { Click(w, w.btnNext); });                // -> destination
    backend->Then([&](Form&) { w.EditDir.UserSetText(dest / "game"); });
    backend->Then([&](Form&) { Click(w, w.btnNext); });                // -> confirm
    backend->Then([&](Form&) { Click(w, w.btnNext); });                // インストール: the run
    backend->Then([&](Form&) {
        EXPECT_EQ(w.PageIndex(), pgExit);
        EXPECT_EQ(w.Caption(), S(u8"完了"));
        EXPECT_FALSE(w.btnNext.Visible());
        EXPECT_FALSE(w.btnBack.Visible());
        // The run marked the description installed; the close box still
        // speaks of the install.
        w.CloseRequested();
    });
    backend->Then([](Form& box) {
        EXPECT_EQ(box.Find("Message")->Caption(), S(u8"インストールを中断しますか？"));
        AnswerMessage(box, mrNo);
    });
    backend->Then([&](Form&) { Click(w, w.btnAbort); });
    EXPECT_EQ(w.ShowModal(), mrOk);
    EXPECT_GT(during, 3);
    EXPECT_TRUE(platform::FileExists(dest / "game\\install.dat"));
    EXPECT_TRUE(platform::FileExists(dest / "game\\extra.txt"));
    EXPECT_EQ(w.Progress.Max(), w.NeededSize);
    EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", ""), dest / "game\\");
}

TEST_F(Wizard, TheDiscPromptTakesThePlaceThePersonPointsAt)
{
    DiscSet set(S(u8"場所を指す"), { DiscA(), DiscB() });
    set.LoadState(state, 0);
    // Disc 2 lies where no rule looks: the person has to say where.
    TempDir away, empty, dest;
    ASSERT_TRUE(platform::RenameFile(ExcludeTrailingBackslash(set.Disc(1)), away / "second"));
    std::string emptyHost, discHost;
    platform::HostPath(empty / "notes.txt", emptyHost);
    platform::HostPath(away / "second\\install.dat", discHost);
    test::WriteFile(empty / "notes.txt", "not a disc");
    TFormType w(state, options, nullptr);
    backend->Then([&](Form&) { Click(w, w.btnNext); });
    backend->Then([&](Form&) { EXPECT_TRUE(w.CheckData.Checked()); });
    backend->Then([&](Form&) { Click(w, w.btnNext); });
    backend->Then([&](Form&) { w.EditDir.UserSetText(dest / "game"); });
    backend->Then([&](Form&) { Click(w, w.btnNext); });
    backend->Then([&](Form&) { Click(w, w.btnNext); }); // インストール: the run asks for disc 2
    backend->Then([&](Form& box) {
        ASSERT_EQ(box.Find("Message")->Caption(), S(u8"ディスク2を入れてからOKをクリックしてください"));
        // A file that is no disc: the prompt stays and says so.
        backend->ChosenFiles.push_back(emptyHost);
        static_cast<Button*>(box.Find("Browse"))->Click();
        EXPECT_EQ(box.GetModalResult(), mrNone);
        EXPECT_NE(box.Find("Message")->Caption().find(S(u8"ディスクでもディスクのフォルダでもありません")), AnsiString::npos)
            << AnsiToHostUtf8(box.Find("Message")->Caption());
    });
    backend->Then([&](Form& box) {
        // The dialog cancelled: nothing changes.
        static_cast<Button*>(box.Find("Browse"))->Click();
        EXPECT_EQ(box.GetModalResult(), mrNone);
        // The disc's description: taken, and the copy goes on.
        backend->ChosenFiles.push_back(discHost);
        static_cast<Button*>(box.Find("Browse"))->Click();
    });
    backend->Then([&](Form&) {
        EXPECT_EQ(w.PageIndex(), pgExit);
        Click(w, w.btnAbort);
    });
    EXPECT_EQ(w.ShowModal(), mrOk);
    EXPECT_TRUE(platform::FileExists(dest / "game\\extra.txt"));
    EXPECT_EQ(std::count(backend->Log.begin(), backend->Log.end(), S(u8"file dialog: ディスクの場所")), 3);
}

TEST_F(Wizard, AbortConfirmedDuringTheRunClosesTheWizard)
{
    DiscSet set(S(u8"途中で中断"), { DiscA(), DiscB() });
    set.LoadState(state, 0);
    TempDir dest;
    TFormType w(state, options, nullptr);
    w.EditDir.SetText(dest / "game");
    bool clicked = false;
    backend->OnProcessMessages = [&] {
        if (w.RunInProgress() && !clicked) {
            clicked = true;
            w.btnAbort.Click(); // asks; the script answers
        }
    };
    w.ShowPage(pgConfirm);
    backend->Then([&](Form&) { Click(w, w.btnNext); });
    backend->Then([](Form& box) {
        EXPECT_EQ(box.Find("Message")->Caption(), S(u8"インストールを中断しますか？"));
        AnswerMessage(box, mrYes);
    });
    EXPECT_EQ(w.ShowModal(), mrAbort);
    EXPECT_FALSE(platform::FileExists(dest / "game\\install.dat"));
}

TEST_F(Wizard, UninstallChosenOnTheFirstPageOfADisc)
{
    DiscSet set(S(u8"ディスクから削除"), { DiscA() });
    set.LoadState(state, 0);
    {
        // Nothing installed: the disc's own folder is never taken for the installation.
        TFormType w(state, options, nullptr);
        Click(w, w.btnBack);
        Click(w, w.RadioUninst);
        backend->Then([](Form& box) {
            EXPECT_EQ(box.Find("Message")->Caption(), S(u8"ディスクから削除 はインストールされていません"));
            AnswerMessage(box, mrOk);
        });
        w.btnNext.Click();
        EXPECT_EQ(w.PageIndex(), pgInst);
    }
    // Installed elsewhere: that installation goes, the disc stays.
    TempDir dest;
    {
        TFormType w(state, options, nullptr);
        w.EditDir.SetText(dest / "game");
        w.ShowPage(pgConfirm);
        w.btnNext.Click();
        ASSERT_TRUE(platform::FileExists(dest / "game\\install.dat"));
    }
    // Started from the disc again (the run marked the description it read as installed).
    set.LoadState(state, 0);
    TFormType w(state, options, nullptr);
    w.FileOperation.Options.insert(TFileOpFlag::fofNoErrorUI);
    Click(w, w.btnBack);
    Click(w, w.RadioUninst);
    Click(w, w.btnNext);
    EXPECT_EQ(w.PageIndex(), pgUninst);
    EXPECT_EQ(w.UninstallDirectory(), dest / "game\\");
    EXPECT_EQ(w.btnNext.Caption(), S(u8"実行"));
    EXPECT_FALSE(w.CheckDelSave.Visible()); // no save.dat there
    Click(w, w.btnNext);
    EXPECT_EQ(w.PageIndex(), pgExit);
    EXPECT_FALSE(platform::DirectoryExists(dest / "game"));
    EXPECT_TRUE(platform::FileExists(set.Disc(0) + "game.exe"));
    EXPECT_TRUE(platform::FileExists(set.Disc(0) + "install.dat"));
    // Back led into the install run from here: it is hidden after the uninstall.
    EXPECT_FALSE(w.btnBack.Visible());
    // The run left the installation for the Windows directory.
    EXPECT_TRUE(SameText(AddBackslash(platform::CurrentDirectory()), AddBackslash(platform::WindowsDirectory())));
}

TEST_F(Wizard, UninstallerOpensOnItsPage)
{
    DiscSet set(S(u8"削除ページ"), { DiscA() });
    TempDir inst;
    TTarnInstallSet installed = set.Description(0);
    installed.Installed = 1;
    installed.SaveToFile(inst / "install.dat");
    test::WriteFile(inst / "save.dat", "s");
    state.SourceDir = inst.Path();
    state.InstallSet = installed;
    TFormType w(state, options, nullptr);
    EXPECT_EQ(w.PageIndex(), pgUninst);
    EXPECT_FALSE(w.btnBack.Visible());
    EXPECT_TRUE(w.CheckDelSave.Visible());
    EXPECT_FALSE(w.CheckDelSave.Checked());
    EXPECT_EQ(w.Caption(), S(u8"アンインストール"));
    // Cancel asks about the uninstall.
    backend->Then([&](Form&) { Click(w, w.btnAbort); });
    backend->Then([](Form& box) {
        EXPECT_EQ(box.Find("Message")->Caption(), S(u8"アンインストールを中断しますか？"));
        AnswerMessage(box, mrYes);
    });
    EXPECT_EQ(w.ShowModal(), mrCancel);
}

TEST_F(Wizard, TheUninstallersRepairCopiesAgainWhatIsWrongAndKeepsTheRest)
{
    DiscSet set(S(u8"修復ページ"), { DiscA(), DiscB() });
    set.LoadState(state, 0);
    TempDir dest;
    const AnsiString game = dest / "game\\";
    {
        TFormType w(state, options, nullptr);
        w.EditDir.SetText(game);
        w.ShowPage(pgConfirm);
        w.btnNext.Click();
        ASSERT_TRUE(platform::FileExists(game + "install.dat"));
    }
    test::WriteFile(game + "game.exe", "MZ broken");
    ASSERT_TRUE(platform::RemoveFile(game + "extra.txt"));
    test::WriteFile(game + "save.dat", "progress");
    TProgramState installed;
    installed.SourceDir = installed.ProgramDir = game;
    installed.InstallSet.LoadFromFile(game + "install.dat");
    RunOptions o = options;
    o.DiscPaths = { { 1, set.Disc(0) }, { 2, set.Disc(1) } };
    TFormType w(installed, o, nullptr);
    ASSERT_EQ(w.PageIndex(), pgUninst);
    Click(w, w.btnRepair);
    EXPECT_EQ(w.PageIndex(), pgExit);
    EXPECT_EQ(w.LabelExit.Caption(), S(u8"修復が完了しました\n2 個のファイルと 0 個のデータを修復しました"));
    EXPECT_EQ(test::ReadFile(game + "game.exe"), "MZa");
    EXPECT_EQ(test::ReadFile(game + "extra.txt"), "b");
    EXPECT_EQ(test::ReadFile(game + "save.dat"), "progress");
    EXPECT_TRUE(platform::FileExists(game + "install.dat"));
}

} // namespace

namespace {

TEST_F(Wizard, TheCloseBoxDuringTheRunAsksAtOnce)
{
    DiscSet set(S(u8"閉じるボックス"), { DiscA(), DiscB() });
    set.LoadState(state, 0);
    TempDir dest;
    {
        // Yes: the run stops where it is, and leaves nothing.
        TFormType w(state, options, nullptr);
        w.EditDir.SetText(dest / "game");
        w.ShowPage(pgConfirm);
        int asked = 0, processed = 0;
        backend->OnProcessMessages = [&] {
            if (w.RunInProgress() && ++processed == 2)
                w.CloseRequested();
        };
        backend->Then([&](Form&) { Click(w, w.btnNext); });
        backend->Then([&](Form& box) {
            ++asked;
            EXPECT_EQ(box.Find("Message")->Caption(), S(u8"インストールを中断しますか？"));
            EXPECT_TRUE(w.RunInProgress()); // asked during the run, not after it
            AnswerMessage(box, mrYes);
        });
        EXPECT_EQ(w.ShowModal(), mrAbort);
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(platform::DirectoryExists(dest / "game"));
        backend->OnProcessMessages = nullptr;
    }
    {
        // No: the run goes on to its end, and nothing is asked afterwards.
        TFormType w(state, options, nullptr);
        w.EditDir.SetText(dest / "game");
        w.ShowPage(pgConfirm);
        bool closed = false;
        backend->OnProcessMessages = [&] {
            if (w.RunInProgress() && !closed) {
                closed = true;
                w.CloseRequested();
            }
        };
        backend->Then([&](Form&) { Click(w, w.btnNext); });
        backend->Then([](Form& box) { AnswerMessage(box, mrNo); });
        backend->Then([&](Form&) {
            EXPECT_EQ(w.PageIndex(), pgExit);
            Click(w, w.btnAbort); // 閉じる
        });
        EXPECT_EQ(w.ShowModal(), mrOk);
        EXPECT_EQ(backend->PendingSteps(), 0u);
        EXPECT_TRUE(platform::FileExists(dest / "game\\install.dat"));
        backend->OnProcessMessages = nullptr;
    }
}

// The wizard in the console with input that ends after the lines given:
// every question the runs ask then has an answer that ends its loop.
class WizardWithoutInput : public Wizard {
protected:
    void SetUp() override
    {
        Wizard::SetUp();
        // Drive C:'s last directory may be one an earlier test removed; the
        // wizard's drive list would say so in a box that takes a line.
        platform::ChangeDirectory("C:\\");
    }
    void Feed(std::deque<std::string> lines)
    {
        App().SetBackend(std::make_unique<ConsoleBackend>(
            [lines = std::move(lines)](std::string& line, int timeoutMs) mutable {
                if (lines.empty())
                    return platform::InputResult::End;
                if (timeoutMs == 0)
                    return platform::InputResult::Timeout; // a run looks only: nothing typed meanwhile
                line = lines.front();
                lines.pop_front();
                return platform::InputResult::Line;
            },
            [this](std::string_view text) { shown += text; }));
    }
    std::string shown;
};

TEST_F(WizardWithoutInput, EveryQuestionOfTheRunsEndsTheRun)
{
    DiscSet set(S(u8"入力のない問い"), { DiscA(), DiscB() });
    TempDir dest;
    // An earlier installation of the game in target: installing over it asks nothing.
    auto Earlier = [&](const AnsiString& target) {
        platform::ForceDirectories(target);
        TTarnInstallSet earlier = set.Description(0);
        earlier.Installed = 1;
        earlier.SaveToFile(target + "\\install.dat");
    };
    struct Case {
        const char* what;
        std::function<void(const AnsiString& target)> prepare;
        int result;
        const char* answer; // as the console prints it
    };
    const std::vector<Case> cases = {
        { "disc 2 nowhere", [&](const AnsiString&) { test::RemoveTree(set.Disc(1)); }, mrAbort, "(end of input) はい(Y)" },
        { "a copy that fails",
          [&](const AnsiString& target) {
              Earlier(target);
              test::WriteFile(target + "\\game.exe", "in the way");
              platform::FileSetAttr(target + "\\game.exe", faReadOnly);
          },
          mrAbort, "(end of input) いいえ(N)" },
        { "a folder that cannot be made",
          [&](const AnsiString& target) {
              Earlier(target);
              test::WriteFile(target + "\\bgm", "a file where the folder goes");
          },
          mrOk, "(end of input) OK" },
    };
    int n = 0;
    for (const Case& c : cases) {
        set.Write(0, 0), set.Write(1, 1);
        AnsiString target = dest / ("game" + std::to_string(n++));
        c.prepare(target);
        const std::string earlier = platform::FileExists(target + "\\install.dat") ? test::ReadFile(target + "\\install.dat") : "";
        set.LoadState(state, 0);
        Feed({ "" }); // Enter on the confirmation page: インストール
        shown.clear();
        TFormType w(state, options, nullptr);
        w.CheckSound.SetChecked(true); // bgm\a.mid goes too
        w.EditDir.SetText(target);
        w.ShowPage(pgConfirm);
        EXPECT_EQ(w.ShowModal(), c.result) << c.what << "\n" << shown;
        EXPECT_NE(shown.find(c.answer), std::string::npos) << c.what << "\n" << shown;
        // No claim of the run's own: the earlier description (if any) is as it was.
        if (earlier.empty())
            EXPECT_FALSE(platform::FileExists(target + "\\install.dat")) << c.what;
        else
            EXPECT_EQ(test::ReadFile(target + "\\install.dat"), earlier) << c.what;
        platform::FileSetAttr(target + "\\game.exe", 0);
    }
}

TEST_F(WizardWithoutInput, TheUninstallsRefusalEndsTooAndTheWizardCloses)
{
    DiscSet set(S(u8"入力のない削除"), { DiscA() });
    TempDir inst;
    TTarnInstallSet installed = set.Description(0);
    installed.Installed = 1;
    installed.Title = S(u8"別のゲーム"); // not this game's installation
    installed.SaveToFile(inst / "install.dat");
    state.SourceDir = inst.Path();
    state.InstallSet = set.Description(0);
    state.InstallSet.Installed = 1;
    Feed({ "" }); // Enter: 実行
    TFormType w(state, options, nullptr);
    EXPECT_EQ(w.ShowModal(), mrCancel) << shown;
    EXPECT_NE(shown.find("は削除できません\n[1] OK\n(end of input) OK"), std::string::npos) << shown;
    EXPECT_TRUE(platform::FileExists(inst / "install.dat"));
}

} // namespace

#ifndef _WIN32
// On POSIX the wizard speaks of host paths: the proposal, the places, the
// free space and the boxes; typed host and drive paths name one folder, and
// what is stored keeps drive paths.
TEST_F(WizardWithoutInput, HostPathsOnEveryPageAndTypedPathsOfBothForms)
{
    const std::string home = platform::GetEnv("HOME");
    const std::string games = home + "/Games/" + AnsiToHostUtf8(S(u8"ゆずりは")) + "/Shiomizaka";
    const AnsiString stored = "C:\\Games\\" + S(u8"ゆずりは") + "\\Shiomizaka\\";
    for (const char* typed : { "", "~/Games/ゆずりは/Shiomizaka", "C:\\Games\\ゆずりは\\Shiomizaka" }) {
        SCOPED_TRACE(typed);
        DiscSet set(S(u8"ホストの道"), { DiscA() });
        set.DefaultDir = "\\Games\\" + S(u8"ゆずりは") + "\\Shiomizaka";
        set.Write(0, 0);
        set.LoadState(state, 0);
        std::deque<std::string> lines = { "btnNext" };      // components -> destination
        lines.insert(lines.end(), { "EditDir=~", "btnNext", "" }); // the home itself: refused in a box
        lines.push_back(std::string("EditDir=") + (*typed ? typed : games));
        lines.insert(lines.end(), { "btnNext", "btnNext", "btnAbort" }); // confirm, the run, 閉じる
        Feed(lines);
        shown.clear();
        TFormType w(state, options, nullptr);
        EXPECT_EQ(w.ShowModal(), mrOk) << shown;
        // The proposal in full, the places, the free space of the home, the box.
        EXPECT_NE(shown.find("EditDir: " + games + "\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("Drive: " + home + "\n  > 1. " + home + "\n    2. /\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("\n" + home + " には "), std::string::npos) << shown;
        EXPECT_NE(shown.find(home + " にはインストールできません"), std::string::npos) << shown;
        // No drive path but the one typed, as typed.
        std::string others = shown;
        for (size_t at; *typed && (at = others.find(typed)) != std::string::npos;)
            others.erase(at, std::strlen(typed));
        EXPECT_EQ(others.find(":\\"), std::string::npos) << "a drive path shown:\n" << shown;
        // Installed where the proposal said, recorded as a drive path.
        EXPECT_TRUE(platform::FileExists(platform::PathFromHost(games + "/install.dat")));
        EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", ""), stored);
        test::RemoveTree(platform::PathFromHost(home + "/Games"));
    }
}
#endif
