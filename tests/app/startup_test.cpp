#include "app/form_start.h"
#include "app/startup.h"
#include "app_fixture.h"
#include "base/codepage.h"
#include "base/path.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::DiscSpec;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        backend = &test::FreshNullBackend();
        module = dir / "install.exe";
        test::WriteFile(module, "the program");
        platform::RemoveFile(TempCopy());
    }
    static AnsiString TempCopy() { return AddBackslash(platform::TempDirectory()) + kTempCopyName; }
    StartupOptions Options(std::optional<AnsiString> argument = std::nullopt)
    {
        StartupOptions o;
        o.ModulePath = module;
        o.Argument = argument;
        return o;
    }

    TempDir dir;
    AnsiString module;
    NullBackend* backend = nullptr;
};

TEST_F(Startup, NoDescriptionBesideTheProgramShowsTheDiscChooserOnlyWithoutAnArgument)
{
    LaunchRequest l = RunStartup(Options());
    EXPECT_TRUE(l.File.empty());
    ASSERT_EQ(backend->Log.size(), 1u); // closed unanswered: nothing more
    EXPECT_EQ(backend->Log[0], S(u8"ディスクの選択"));
    backend->Log.clear();
    l = RunStartup(Options(dir / "elsewhere"));
    EXPECT_TRUE(l.File.empty());
    EXPECT_TRUE(backend->Log.empty());
}

TEST_F(Startup, LauncherExitAndCloseBoxStartNothing)
{
    test::MakeDisc(dir.Path(), {});
    backend->Then([](Form& f) { ClickControl(f, "btnExit"); });
    EXPECT_TRUE(RunStartup(Options()).File.empty());
    ASSERT_EQ(backend->Log.size(), 1u);
    EXPECT_EQ(backend->Log[0], S(u8"サンプルゲーム"));
    backend->Then([](Form& f) { f.CloseRequested(); });
    EXPECT_TRUE(RunStartup(Options()).File.empty());
}

TEST_F(Startup, InstallMakesTheTemporaryCopyWithTheQuotedDirectory)
{
    test::MakeDisc(dir.Path(), {});
    backend->Then([](Form& f) { ClickControl(f, "btnInstall"); });
    LaunchRequest l = RunStartup(Options());
    EXPECT_EQ(l.File, TempCopy());
    EXPECT_EQ(l.Params, "\"" + dir.Path() + "\"");
    EXPECT_EQ(test::ReadFile(TempCopy()), "the program");
}

TEST_F(Startup, GameStartOpensTheInstalledGameAsAQuotedPath)
{
    test::DiscSpec discSpec;
    discSpec.RegistryKey = "TarnTests\\Start" + std::to_string(std::rand());
    test::MakeDisc(dir.Path(), discSpec);
    TempDir installed;
    test::WriteFile(installed / "game.exe", "game");
    TTarnInstallSet set;
    set.LoadFromFile(dir / "install.dat");
    set.WriteRegString("InstallPath", installed.Path()); // with its trailing backslash
    backend->Then([](Form& f) {
        EXPECT_TRUE(f.Get<Button>("btnStart").Enabled());
        ClickControl(f, "btnStart");
    });
    LaunchRequest l = RunStartup(Options());
    EXPECT_EQ(l.File, "\"" + installed.Path() + "game.exe\"");
    EXPECT_EQ(l.Params, "");
    // Without the game program in that directory the button is disabled.
    platform::RemoveFile(installed / "game.exe");
    backend->Then([](Form& f) {
        EXPECT_FALSE(f.Get<Button>("btnStart").Enabled());
        ClickControl(f, "btnStart"); // does nothing
    });
    EXPECT_TRUE(RunStartup(Options()).File.empty());
    set.DeleteRegistryKey();
}

// The backdrop stands open behind the wizard, which it owns, and both go
// when the wizard closes.
void CancelWizard(NullBackend& backend, const char8_t* question)
{
    backend.Then([](Form& f) {
        EXPECT_EQ(f.Name(), "FormType");
        ASSERT_NE(f.Owner(), nullptr);
        EXPECT_EQ(f.Owner()->Name(), "FormMain");
        EXPECT_TRUE(f.Owner()->IsShown());
        ClickControl(f, "btnAbort");
    });
    backend.Then([question](Form& box) {
        EXPECT_EQ(box.Find("Message")->Caption(), S(question));
        AnswerMessage(box, mrYes);
    });
}

TEST_F(Startup, InstallerRoleShowsTheBackdropAndTheWizard)
{
    test::MakeDisc(dir.Path(), {});
    CancelWizard(*backend, u8"インストールを中断しますか？");
    LaunchRequest l = RunStartup(Options(dir.Path()));
    EXPECT_TRUE(l.File.empty());
    ASSERT_EQ(backend->Log.size(), 3u);
    EXPECT_EQ(backend->Log[0], S(u8"サンプルゲームのセットアップ"));
    // A single disc: the wizard opens on the component page.
    EXPECT_EQ(backend->Log[1], S(u8"インストールするファイル"));
    EXPECT_TRUE(backend->OpenForms().empty());
    EXPECT_EQ(backend->PendingSteps(), 0u);
}

TEST_F(Startup, InstalledCopyWithoutArgumentIsTheUninstallerBootstrap)
{
    DiscSpec discSpec;
    discSpec.Installed = 1;
    test::MakeDisc(dir.Path(), discSpec);
    LaunchRequest l = RunStartup(Options());
    EXPECT_TRUE(backend->Log.empty()); // no window at all
    EXPECT_EQ(l.File, TempCopy());
    EXPECT_EQ(l.Params, "\"" + dir.Path() + "\"");
    EXPECT_TRUE(platform::FileExists(TempCopy()));
    // With the argument: the uninstaller's backdrop, without the title
    // image, and the wizard on its uninstall page.
    CancelWizard(*backend, u8"アンインストールを中断しますか？");
    l = RunStartup(Options(dir.Path()));
    EXPECT_TRUE(l.File.empty());
    ASSERT_EQ(backend->Log.size(), 3u);
    EXPECT_EQ(backend->Log[0], S(u8"サンプルゲームの削除"));
    EXPECT_EQ(backend->Log[1], S(u8"アンインストール"));
    EXPECT_TRUE(backend->OpenForms().empty());
}

TEST_F(Startup, SourceOptionActsAsTheProgramLyingThere)
{
    TempDir disc;
    test::MakeDisc(disc.Path(), {});
    StartupOptions o = Options();
    o.Source = ExcludeTrailingBackslash(disc.Path());
    backend->Then([](Form& f) { ClickControl(f, "btnInstall"); });
    LaunchRequest l = RunStartup(o);
    EXPECT_EQ(l.File, TempCopy());
    EXPECT_EQ(l.Params, "\"" + disc.Path() + "\"");
    EXPECT_EQ(test::ReadFile(TempCopy()), "the program"); // the running program, not one on the disc
}

TEST_F(Startup, ASecondInstanceEndsSilently)
{
    test::MakeDisc(dir.Path(), {});
    auto held = platform::NamedMutex::Acquire(S(u8"サンプルゲーム"));
    ASSERT_TRUE(held);
    EXPECT_TRUE(RunStartup(Options()).File.empty());
    EXPECT_TRUE(backend->Log.empty());
    held.reset();
    backend->Then([](Form& f) { ClickControl(f, "btnExit"); });
    RunStartup(Options());
    EXPECT_EQ(backend->Log.size(), 1u);
    // The mutex is released when start-up returns: the follow-up passes its guard.
    EXPECT_TRUE(platform::NamedMutex::Acquire(S(u8"サンプルゲーム")));
}

TEST_F(Startup, ADescriptionWithoutAUsableDiscIsRefusedBeforeAnyWindow)
{
    DiscSpec discSpec;
    discSpec.DiscCount = 2;
    discSpec.DiscIndex = 2;
    test::MakeDisc(dir.Path(), discSpec);
    EXPECT_TRUE(RunStartup(Options()).File.empty());
    ASSERT_EQ(backend->Log.size(), 1u);
    EXPECT_EQ(backend->Log[0].rfind(S(u8"エラー: ") + dir / "install.dat", 0), 0u) << test::ToHex(backend->Log[0]);
    discSpec.DiscCount = 0;
    discSpec.DiscIndex = 0;
    test::MakeDisc(dir.Path(), discSpec);
    backend->Log.clear();
    EXPECT_TRUE(RunStartup(Options(dir.Path())).File.empty());
    ASSERT_EQ(backend->Log.size(), 1u);
}

// ---- the program file of a copy started with an argument ----

TARN_CHILD(run_installer)
{
    CancelWizard(test::FreshNullBackend(), u8"インストールを中断しますか？");
    StartupOptions o;
    o.ModulePath = platform::PathFromHost(args[0]);
    o.Argument = platform::PathFromHost(args[1]);
    RunStartup(o);
    return 0;
}

TEST_F(Startup, OnlyTheTemporaryCopyRemovesItself)
{
    test::MakeDisc(dir.Path(), {});
    auto run = [&](const AnsiString& program) {
        return platform::RunProcess(test::SelfPath(), test::ChildArgs("run_installer", { platform::DisplayPath(program), platform::DisplayPath(dir.Path()) }))
            .ExitCode;
    };
    EXPECT_EQ(run(module), 0);
    EXPECT_TRUE(platform::FileExists(module)); // started by hand: the program stays
    test::WriteFile(TempCopy(), "copy");
    EXPECT_EQ(run(TempCopy()), 0);
#ifndef _WIN32
    EXPECT_FALSE(platform::FileExists(TempCopy())); // removed when it ended
#endif
    // On Windows the copy goes at the next system start, which Wine may see
    // in any later start of its server: nothing to check here reliably.
}

// ---- launcher layouts ----

struct Layout {
    bool directx, winmedia;
    uint8_t setupButtons;
    int directxTop, winmediaTop, exitTop, height;
};

TEST_F(Startup, LauncherLayoutsFollowTheSetupPrograms)
{
    const Layout layouts[] = { { true, true, 1, 100, 136, 188, 230 },   { true, false, 1, 100, -1, 152, 194 },
                               { false, true, 1, -1, 100, 152, 194 },   { false, false, 1, -1, -1, 116, 158 },
                               { true, true, 0, -1, -1, 116, 158 } };
    for (const Layout& l : layouts) {
        TempDir disc;
        DiscSpec discSpec;
        discSpec.SetupButtons = l.setupButtons;
        test::MakeDisc(disc.Path(), discSpec);
        if (l.directx)
            platform::ForceDirectories(disc / "directx"), test::WriteFile(disc / "directx\\dxsetup.exe", "x");
        if (l.winmedia)
            platform::ForceDirectories(disc / "winmedia"), test::WriteFile(disc / "winmedia\\mp71.exe", "x");
        TProgramState state;
        test::LoadDiscState(state, disc.Path());
        TFormStart menu(state);
        EXPECT_EQ(menu.btnStart.Top(), 12);
        EXPECT_EQ(menu.btnInstall.Top(), 64);
        EXPECT_EQ(menu.btnDirectX.Visible(), l.directxTop >= 0);
        EXPECT_EQ(menu.btnWinMedia.Visible(), l.winmediaTop >= 0);
        if (l.directxTop >= 0) {
            EXPECT_EQ(menu.btnDirectX.Top(), l.directxTop);
        }
        if (l.winmediaTop >= 0) {
            EXPECT_EQ(menu.btnWinMedia.Top(), l.winmediaTop);
        }
        EXPECT_EQ(menu.btnExit.Top(), l.exitTop);
        EXPECT_EQ(menu.ClientHeight(), l.height);
        EXPECT_EQ(menu.ClientWidth(), 265);
        EXPECT_EQ(menu.PaintBox.Height(), l.height); // the paint box fills the client area
        EXPECT_FALSE(menu.btnStart.Enabled()); // nothing installed
    }
}

TEST_F(Startup, AMissingTitleImageIsReportedAndTheMenuKeepsItsDesign)
{
    DiscSpec discSpec;
    discSpec.TitleImage = "missing.gal";
    discSpec.SetupButtons = 0;
    test::MakeDisc(dir.Path(), discSpec);
    TProgramState state;
    test::LoadDiscState(state, dir.Path());
    backend->Then([](Form& box) { AnswerMessage(box, mrOk); });
    TFormStart menu(state);
    ASSERT_EQ(backend->Log.size(), 1u);
    EXPECT_EQ(backend->Log[0], S(u8"エラー: missing.gal:ファイルがありません"));
    EXPECT_TRUE(menu.btnDirectX.Visible());
    EXPECT_TRUE(menu.btnWinMedia.Visible());
    EXPECT_EQ(menu.btnExit.Top(), 188);
    EXPECT_EQ(menu.ClientHeight(), 230);
    EXPECT_EQ(menu.Caption(), S(u8"サンプルゲーム"));
    // Game start still needs an installed game.
    EXPECT_FALSE(menu.btnStart.Enabled());
}

} // namespace
