// A start without a disc: the discs found where a person keeps them, the
// chooser over them, and the launcher of the disc chosen.
#include "app/form_discs.h"
#include "app/startup.h"
#include "app_fixture.h"
#include "base/codepage.h"
#include "base/path.h"
#include "iso_image.h"
#include "wizard/game_discs.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::DiscSpec;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

DiscSpec Described(const char8_t* title, int index, int count)
{
    DiscSpec d;
    d.Title = S(title);
    d.DiscIndex = index;
    d.DiscCount = count;
    return d;
}

// A disc as an ISO image at base.iso.
void MakeImage(const AnsiString& base, const DiscSpec& disc)
{
    TempDir content;
    test::MakeDisc(content.Path(), disc);
    mkdisc::ImageTarget t;
    t.Base = base;
    t.VolumeId = "DISC";
    mkdisc::WriteDiscImage(content.Path(), t);
}

AnsiString Row(const char8_t* title, int number, int count, const AnsiString& place)
{
    return S(title) + S(u8" ― ディスク ") + IntToStr(number) + " / " + IntToStr(count) + S(u8" ― ") +
           HostUtf8ToAnsi(platform::DisplayPath(place));
}

// The program in a folder of its own (root\prog), discs beside it, in the
// current directory and on the media: two games of two discs each.
class DiscChooser : public ::testing::Test {
protected:
    void SetUp() override
    {
        backend = &test::FreshNullBackend();
        platform::ForceDirectories(root / "prog");
        module = root / "prog\\install.exe";
        test::WriteFile(module, "the program");
        platform::ForceDirectories(cwd.Path());
        platform::ChangeDirectory(ExcludeTrailingBackslash(cwd.Path()));
        platform::RemoveFile(AddBackslash(platform::TempDirectory()) + kTempCopyName);
    }
    void MakeDiscs()
    {
        // Beside the program's folder: a folder and an image.
        platform::ForceDirectories(root / "b two");
        test::MakeDisc(root / "b two\\", Described(u8"かのゲーム", 1, 2));
        MakeImage(root / "a2", Described(u8"あのゲーム", 1, 2));
        // In the current directory: an image.
        MakeImage(cwd / "a1", Described(u8"あのゲーム", 0, 2));
        // Strangers passed over: a folder of other files, a broken image,
        // an installed game's folder.
        platform::ForceDirectories(root / "notes");
        test::WriteFile(root / "notes\\readme.txt", "x");
        test::WriteFile(cwd / "broken.iso", std::string(70000, 'x'));
        platform::ForceDirectories(root / "installed");
        DiscSpec installed = Described(u8"インストール済み", 0, 1);
        installed.Installed = 1;
        test::MakeDisc(root / "installed\\", installed);
#ifndef _WIN32
        // A medium mounted by the system (here a folder among the media).
        platform::ForceDirectories(media / "B DISC 1");
        test::MakeDisc(media / "B DISC 1\\", Described(u8"かのゲーム", 0, 2));
#endif
    }
    StringList ExpectedRows() const
    {
        StringList rows = { Row(u8"あのゲーム", 1, 2, cwd / "a1.iso"), Row(u8"あのゲーム", 2, 2, root / "a2.iso") };
#ifndef _WIN32
        rows.push_back(Row(u8"かのゲーム", 1, 2, media / "B DISC 1"));
#endif
        rows.push_back(Row(u8"かのゲーム", 2, 2, root / "b two"));
        return rows;
    }
    StartupOptions Options(std::optional<AnsiString> argument = std::nullopt) const
    {
        StartupOptions o;
        o.ModulePath = module;
        o.Argument = argument;
        return o;
    }

    TempDir root, cwd, media;
    test::CurrentDirectoryGuard guard;
#ifndef _WIN32
    test::ScopedEnv mediaDirs{ "TARN_MEDIA_DIRS", platform::DisplayPath(media.Path()) };
    test::ScopedEnv drives{ "TARN_DRIVE_DEVICES", "" };
#endif
    AnsiString module;
    NullBackend* backend = nullptr;
};

TEST_F(DiscChooser, EveryDiscFoundIsListedByTitleThenDisc)
{
    MakeDiscs();
    std::vector<GameDisc> discs = FindGameDiscs(root / "prog", ExcludeTrailingBackslash(cwd.Path()));
    StringList rows;
    for (const GameDisc& d : discs)
        rows.push_back(GameDiscText(d));
    EXPECT_EQ(rows, ExpectedRows());
    // The current directory being the program's folder changes nothing.
    discs = FindGameDiscs(root / "prog", root / "prog");
    EXPECT_EQ(discs.size(), ExpectedRows().size() - 1); // a1.iso is not beside the program
}

TEST_F(DiscChooser, ARowChosenStartsTheLauncherOfThatDisc)
{
    MakeDiscs();
    StringList expected = ExpectedRows();
    // The image beside the program (the second row), then install from it.
    backend->Then([&](Form& f) {
        ASSERT_EQ(f.Name(), "FormDiscs");
        EXPECT_EQ(f.Get<ListBox>("Discs").Items(), expected);
        EXPECT_EQ(f.Get<ListBox>("Discs").ItemIndex(), 0);
        f.Get<ListBox>("Discs").UserSelect(1);
        ClickControl(f, "btnStart");
    });
    backend->Then([](Form& f) {
        EXPECT_EQ(f.Name(), "FormStart");
        ClickControl(f, "btnInstall");
    });
    LaunchRequest l = RunStartup(Options());
    ASSERT_EQ(backend->Log.size(), 2u);
    EXPECT_EQ(backend->Log[0], S(u8"ディスクの選択"));
    EXPECT_EQ(backend->Log[1], S(u8"あのゲーム"));
    // The temporary copy installs from the image, as when the image is opened.
    EXPECT_TRUE(l.TemporaryCopy);
    EXPECT_EQ(l.Params, "\"" + root / "a2.iso\\" + "\"");

    // A folder disc: the last row.
    backend->Log.clear();
    backend->Then([&](Form& f) {
        f.Get<ListBox>("Discs").UserSelect(static_cast<int>(expected.size()) - 1);
        ClickControl(f, "btnStart");
    });
    backend->Then([](Form& f) { ClickControl(f, "btnInstall"); });
    l = RunStartup(Options());
    ASSERT_EQ(backend->Log.size(), 2u);
    EXPECT_EQ(backend->Log[1], S(u8"かのゲーム"));
    EXPECT_EQ(l.Params, "\"" + root / "b two\\" + "\"");

    // 終了 and the close box start nothing.
    backend->Then([](Form& f) { ClickControl(f, "btnExit"); });
    EXPECT_TRUE(RunStartup(Options()).File.empty());
    backend->Then([](Form& f) { f.CloseRequested(); });
    EXPECT_TRUE(RunStartup(Options()).File.empty());
    EXPECT_EQ(backend->PendingSteps(), 0u);
}

TEST_F(DiscChooser, WithNoneFoundOnlyBrowseAndExitAreOffered)
{
    backend->Then([](Form& f) {
        EXPECT_EQ(f.Get<Label>("Message").Caption(), S(u8"ゲームのディスクが見つかりませんでした。"));
        EXPECT_FALSE(f.Get<ListBox>("Discs").Visible());
        EXPECT_FALSE(f.Get<Button>("btnStart").Visible());
        EXPECT_TRUE(f.Get<Button>("btnBrowse").Visible());
        EXPECT_TRUE(f.Get<Button>("btnBrowse").Default());
        ClickControl(f, "btnExit");
    });
    EXPECT_TRUE(RunStartup(Options()).File.empty());
    ASSERT_EQ(backend->Log.size(), 1u);
    EXPECT_EQ(backend->Log[0], S(u8"ディスクの選択"));

    // 参照...: a file that is no disc is refused by name and the chooser
    // stays; a disc's install.dat is taken.
    TempDir elsewhere;
    test::WriteFile(elsewhere / "notes.txt", "x");
    test::MakeDisc(elsewhere.Path(), Described(u8"よそのゲーム", 0, 1));
    backend->Log.clear();
    backend->ChosenFiles = { platform::DisplayPath(elsewhere / "notes.txt"), platform::DisplayPath(elsewhere / "install.dat") };
    backend->Then([](Form& f) { ClickControl(f, "btnBrowse"); });
    backend->Then([](Form& box) { AnswerMessage(box, mrOk); });
    backend->Then([](Form& f) {
        EXPECT_EQ(f.Name(), "FormDiscs");
        ClickControl(f, "btnBrowse");
    });
    backend->Then([](Form& f) {
        EXPECT_EQ(f.Name(), "FormStart");
        ClickControl(f, "btnInstall");
    });
    LaunchRequest l = RunStartup(Options());
    ASSERT_EQ(backend->Log.size(), 5u);
    EXPECT_EQ(backend->Log[1], S(u8"file dialog: ディスクの場所"));
    EXPECT_NE(backend->Log[2].find("notes.txt"), std::string::npos) << backend->Log[2];
    EXPECT_EQ(backend->Log[4], S(u8"よそのゲーム"));
    EXPECT_EQ(l.Params, "\"" + elsewhere.Path() + "\"");
}

TEST_F(DiscChooser, AWrongPlaceIsRefusedWithItsReason)
{
    TempDir place;
    AnsiString why;
    EXPECT_FALSE(GameDiscAt(place / "missing", &why));
    EXPECT_NE(why.find("missing"), std::string::npos);
    EXPECT_FALSE(GameDiscAt(place.Path(), &why));
    EXPECT_NE(why.find("install.dat"), std::string::npos);
    DiscSpec installed = Described(u8"済み", 0, 1);
    installed.Installed = 1;
    test::MakeDisc(place.Path(), installed);
    EXPECT_FALSE(GameDiscAt(place.Path(), &why));
    EXPECT_NE(why.find(S(u8"インストールされた")), std::string::npos);
    test::MakeDisc(place.Path(), Described(u8"番号違い", 3, 2));
    EXPECT_FALSE(GameDiscAt(place / "install.dat", &why));
    EXPECT_NE(why.find(S(u8"ディスク番号")), std::string::npos);
    test::WriteFile(place / "broken.iso", std::string(70000, 'x'));
    EXPECT_FALSE(GameDiscAt(place / "broken.iso", &why));
    EXPECT_NE(why.find("broken.iso"), std::string::npos);
    // The same disc by its folder, its install.dat and with a trailing backslash.
    test::MakeDisc(place.Path(), Described(u8"正しい", 1, 3));
    for (const AnsiString& p : { place.Path(), place / "install.dat", ExcludeTrailingBackslash(place.Path()) }) {
        std::optional<GameDisc> d = GameDiscAt(p);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->Place, ExcludeTrailingBackslash(place.Path()));
        EXPECT_EQ(d->Title, S(u8"正しい"));
        EXPECT_EQ(d->Index, 1);
        EXPECT_EQ(d->Count, 3);
    }
}

TEST_F(DiscChooser, ADiscsInstallDatAsTheArgumentIsThatDiscsLauncher)
{
    TempDir disc;
    test::MakeDisc(disc.Path(), Described(u8"開いたゲーム", 0, 1));
    backend->Then([](Form& f) {
        EXPECT_EQ(f.Name(), "FormStart");
        ClickControl(f, "btnInstall");
    });
    LaunchRequest l = RunStartup(Options(disc / "install.dat"));
    ASSERT_EQ(backend->Log.size(), 1u);
    EXPECT_EQ(backend->Log[0], S(u8"開いたゲーム"));
    EXPECT_EQ(l.Params, "\"" + disc.Path() + "\"");
    // The temporary copy given an install.dat installs from its folder.
    StartupOptions copy = Options(disc / "install.dat");
    copy.ModulePath = AddBackslash(platform::TempDirectory()) + kTempCopyName;
    test::WriteFile(copy.ModulePath, "copy");
    backend->Then([](Form& f) {
        EXPECT_EQ(f.Name(), "FormType");
        ClickControl(f, "btnAbort");
    });
    backend->Then([](Form& box) { AnswerMessage(box, mrYes); });
    EXPECT_TRUE(RunStartup(copy).File.empty());
    EXPECT_EQ(backend->Log[1], S(u8"開いたゲームのセットアップ"));
}

} // namespace
