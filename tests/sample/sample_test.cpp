// The bundled sample disc set: built from examples/sample with mkdisc as
// ./dev run builds it, opened by the launcher, and its game program run on an
// installation merged from both discs.
#include <map>
#include <memory>

#include "archive/vr_files.h"
#include "platform/file_routines.h"
#include "base/codepage.h"
#include "base/path.h"
#include "graphics/gale.h"
#include "graphics/png_file.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "sample_files.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;
using tarn::sampletest::Host;
using tarn::sampletest::SourceFile;

namespace {

int64_t SizeOf(const AnsiString& path)
{
    int64_t size = platform::FileSize(path);
    EXPECT_GE(size, 0) << platform::DisplayPath(path);
    return size;
}

// Built once for all tests, as ./dev run builds it.
class SampleDiscs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = std::make_unique<TempDir>();
        AnsiString title = *dir_ / (PngAvailable() ? "title.png" : "title.bmp");
        auto drawn = platform::RunProcess(test::ProgramPath("tarn-sample-title"), { Host(title) });
        ASSERT_EQ(drawn.ExitCode, 0) << drawn.Err;
        auto built = platform::RunProcess(test::ProgramPath("mkdisc"),
                                          { Host(SourceFile("examples/sample/manifest.json")), "-o", Host(*dir_ / "sample"),
                                            "-D", "title=" + Host(title), "-D", "game=" + Host(test::ProgramPath("tarn-sample-game")),
                                            "-D", "setup=" + Host(test::SetupProgramPath()) });
        ASSERT_EQ(built.ExitCode, 0) << built.Err;
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static AnsiString Disc(int n) { return *dir_ / "sample\\disc" + IntToStr(n) + "\\"; }

    // The wizard's controls as a console script names them.
    static constexpr const char* kCheckSound = "CheckSound";
    static constexpr const char* kCheckMovie = "CheckMovie";
    static constexpr const char* kEditDir = "EditDir";
    static constexpr const char* kCheckDelSave = "CheckDelSave";

    // Both discs installed into target by the wizard, driven through a pipe
    // as a person at a terminal would: Next on the disc choice (all discs),
    // the boxes of the components left out (every one starts chosen), Next,
    // the destination typed in, Next, インストール. The input then ends on
    // the last page, which closes the wizard.
    static platform::ProcessResult Install(const AnsiString& target,
                                           const std::string& leftOut = std::string(kCheckSound) + "\n" + kCheckMovie + "\n")
    {
        std::string input = "\n" + leftOut + "\n" + kEditDir + "=" + Host(ExcludeTrailingBackslash(target)) + "\n\n\n";
        platform::ProcessResult r = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", Host(Disc(1)) }, input);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_NE(r.Out.find("\n完了\nインストールが完了しました\n"), std::string::npos) << r.Out;
        return r;
    }

    static platform::ProcessResult RunGame(const AnsiString& target)
    {
        return platform::RunProcess(target + "game.exe", { "--ui=console" });
    }

    static std::unique_ptr<TempDir> dir_;
};

std::unique_ptr<TempDir> SampleDiscs::dir_;

TEST_F(SampleDiscs, DescriptionsAgreeWithWhatTheDiscsHold)
{
    AnsiString src = SourceFile("examples/sample/");
    // Sizes worked out from the sources: what an installation copies per component.
    const int32_t program[] = { static_cast<int32_t>(SizeOf(src + "disc1\\readme.txt") + SizeOf(test::SetupProgramPath()) +
                                                     SizeOf(test::ProgramPath("tarn-sample-game"))),
                                static_cast<int32_t>(SizeOf(src + "disc2\\manual\\manual.html")) };
    const int32_t sound[] = { static_cast<int32_t>(SizeOf(src + "disc1\\bgm\\title.mid") + SizeOf(src + "disc1\\se\\click.wav") +
                                                   SizeOf(src + "disc1\\se\\page.wav")),
                              static_cast<int32_t>(SizeOf(src + "disc2\\bgm\\ending.mid") + SizeOf(src + "disc2\\voice\\keeper01.wav") +
                                                   SizeOf(src + "disc2\\voice\\keeper02.wav")) };
    const int32_t movie[] = { static_cast<int32_t>(SizeOf(src + "disc1\\movie\\opening.mpg")),
                              static_cast<int32_t>(SizeOf(src + "disc2\\movie\\ending.mpg")) };
    const int32_t data[] = { static_cast<int32_t>(SizeOf(Disc(1) + "game.dat")), static_cast<int32_t>(SizeOf(Disc(2) + "game.dat")) };
    for (int n : { 1, 2 }) {
        SCOPED_TRACE(n);
        TTarnInstallSet d;
        d.LoadFromFile(Disc(n) + "install.dat");
        EXPECT_EQ(d.DiscIndex, n - 1);
        EXPECT_EQ(d.DiscCount(), 2);
        EXPECT_EQ(d.Title, S(u8"潮見坂の灯台"));
        EXPECT_EQ(d.GameExe, "game.exe");
        EXPECT_EQ(d.Installed, 0);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(d.ProgramSizes()[i], program[i]) << i;
            EXPECT_EQ(d.SoundSizes()[i], sound[i]) << i;
            EXPECT_EQ(d.MovieSizes()[i], movie[i]) << i;
            EXPECT_EQ(d.DataSizes()[i], data[i]) << i;
        }
        EXPECT_EQ(d.ProgramTotal, program[0] + program[1]);
        EXPECT_EQ(d.SoundTotal, sound[0] + sound[1]);
        EXPECT_EQ(d.MovieTotal, movie[0] + movie[1]);
        EXPECT_EQ(d.DataTotal, data[0] + data[1]);

        // The title picture is on every disc and reads with the description's seed.
        TVrFileCollection archive;
        archive.Open(Disc(n) + "game.dat");
        TMemoryStream stream;
        archive.LoadEntry(stream, d.TitleImage);
        TGaleFrameList frames(d.ImageSeed);
        frames.LoadFromStream(stream, true);
        ASSERT_EQ(frames.Count(), 1);
        EXPECT_EQ(frames.Frames(0).Surface.Width(), 265);
        EXPECT_EQ(frames.Frames(0).Surface.Height(), 230);
    }
    EXPECT_TRUE(platform::FileExists(Disc(1) + "directx\\dxsetup.exe"));
    EXPECT_TRUE(platform::FileExists(Disc(1) + "winmedia\\mp71.exe"));
    EXPECT_FALSE(platform::DirectoryExists(Disc(2) + "directx"));
}

TEST_F(SampleDiscs, TheLauncherOpensOnTheFirstDisc)
{
    auto r = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", "--print-launch", "--source", Host(Disc(1)) });
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("\n潮見坂の灯台\n[1-] ゲームスタート\n[2] インストール\n[3] DirectXをインストール\n"
                         "[4] WindowsMediaPlayerをインストール\n[5] 終了\n"),
              std::string::npos)
        << r.Out;
    EXPECT_EQ(r.Out.find('{'), std::string::npos) << r.Out;
}

TEST_F(SampleDiscs, WizardInstallsBothDiscsAndTheUninstallerRemovesThem)
{
    TempDir home;
    AnsiString target = home / S(u8"潮見坂 の灯台");
    auto r = Install(target, "");
    // Disc 2 lay beside disc 1: no prompt for it.
    EXPECT_EQ(r.Out.find("ディスク2を入れて"), std::string::npos) << r.Out;
    AnsiString t = AddBackslash(target);
    for (const char* f : { "game.exe", "install.exe", "readme.txt", "bgm\\title.mid", "bgm\\ending.mid", "movie\\ending.mpg",
                           "voice\\keeper02.wav", "manual\\manual.html", "game.dat", "install.dat" })
        EXPECT_TRUE(platform::FileExists(t + f)) << f;
    EXPECT_FALSE(platform::DirectoryExists(t + "directx"));
    TTarnInstallSet installed;
    installed.LoadFromFile(t + "install.dat");
    EXPECT_EQ(installed.Installed, 1);
    EXPECT_EQ(installed.ReadRegString("InstallPath", ""), t);
#ifndef _WIN32
    // The menu: a group with the game, the uninstaller and the read-me, each entry valid.
    std::string apps = platform::GetEnv("XDG_DATA_HOME") + "/applications";
    StringList entries;
    for (const platform::DirEntry& e : SortedDirectory(platform::PathFromHost(apps)))
        entries.push_back(e.Name);
    EXPECT_EQ(entries.size(), 3u);
    TARN_REQUIRE_TOOL("desktop-file-validate");
    for (const AnsiString& e : entries) {
        auto v = platform::RunProcess(platform::PathFromHost("/usr/bin/desktop-file-validate"), { apps + "/" + e });
        EXPECT_EQ(v.ExitCode, 0) << e << ": " << v.Out << v.Err;
    }
#endif
    // The game starts from the installation, and the launcher on the disc now offers it.
    auto game = RunGame(t);
    EXPECT_EQ(game.ExitCode, 0) << game.Err << game.Out;
    auto menu = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", "--print-launch", "--source", Host(Disc(1)) }, "btnStart\n");
    EXPECT_NE(menu.Out.find("[1] ゲームスタート"), std::string::npos) << menu.Out;
    EXPECT_NE(menu.Out.find("game.exe"), std::string::npos) << menu.Out;

    // The uninstaller, started on the installation, keeps the save data unless told otherwise.
    test::WriteFile(t + "save.dat", "progress");
    auto removed = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", Host(target) }, "\n");
    EXPECT_EQ(removed.ExitCode, 0) << removed.Err;
    EXPECT_NE(removed.Out.find("アンインストールが完了しました"), std::string::npos) << removed.Out;
    EXPECT_TRUE(platform::FileExists(t + "save.dat"));
    EXPECT_FALSE(platform::FileExists(t + "game.exe"));
    EXPECT_FALSE(platform::DirectoryExists(t + "bgm"));
    EXPECT_EQ(installed.ReadRegString("InstallPath", "none"), "none");
#ifndef _WIN32
    EXPECT_TRUE(SortedDirectory(platform::PathFromHost(apps)).empty());
    // In the trash, where a person can get it back.
    std::string trash = platform::GetEnv("XDG_DATA_HOME") + "/Trash/files/";
    EXPECT_TRUE(platform::FileExists(platform::PathFromHost(trash + "game.exe")));
#endif
    // And once more with the box checked: the directory goes whole.
    platform::RemoveFile(t + "save.dat");
    Install(target);
    test::WriteFile(t + "save.dat", "progress");
    auto all = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", Host(target) }, std::string(kCheckDelSave) + "\n\n");
    EXPECT_EQ(all.ExitCode, 0) << all.Err;
    EXPECT_FALSE(platform::DirectoryExists(target));
}

// Everything an installation leaves, byte for byte: its files, its registry
// value and its menu entries.
struct Leftovers {
    std::map<std::string, std::string> files, menu;
    AnsiString recorded;
    bool operator==(const Leftovers&) const = default;
};

Leftovers LeftoversOf(const AnsiString& target)
{
    Leftovers l;
    for (const AnsiString& f : test::TreeOf(target))
        l.files[f] = test::ReadFile(AddBackslash(target) + f);
    TTarnInstallSet installed;
    installed.LoadFromFile(AddBackslash(target) + "install.dat");
    l.recorded = installed.ReadRegString("InstallPath", "none");
#ifndef _WIN32
    for (const AnsiString& f : test::MenuFiles())
        l.menu[f] = test::ReadFile(test::MenuFile(f));
#endif
    return l;
}

TEST_F(SampleDiscs, AnUnattendedInstallIsTheWizardsInstall)
{
    TempDir home;
    AnsiString target = home / "game";
    // A person at the console: both discs, data and sound, the destination typed in.
    Install(target, std::string(kCheckMovie) + "\n");
    Leftovers byHand = LeftoversOf(target);
    ASSERT_FALSE(byHand.files.empty());
    auto removed = platform::RunProcess(test::SetupProgramPath(), { "--very-silent", "--uninstall", "--delete-save", Host(target) });
    ASSERT_EQ(removed.ExitCode, 0) << removed.Err;
    ASSERT_FALSE(platform::DirectoryExists(target));
    // The same choices without a person.
    auto r = platform::RunProcess(test::SetupProgramPath(), { "--very-silent", Host(Disc(1)), "--dir", Host(target), "--components", "sound,data" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    Leftovers unattended = LeftoversOf(target);
    EXPECT_TRUE(unattended == byHand);
    for (const auto& [name, bytes] : byHand.files)
        EXPECT_TRUE(unattended.files.count(name) && unattended.files[name] == bytes) << name;
    EXPECT_EQ(unattended.files.size(), byHand.files.size());
    EXPECT_EQ(unattended.menu, byHand.menu);
    EXPECT_EQ(unattended.recorded, byHand.recorded);
    EXPECT_EQ(unattended.recorded, AddBackslash(target));
}

TEST_F(SampleDiscs, TheInstalledGameLoadsTheMergedArchive)
{
    TempDir target;
    Install(target.Path());
    TVrFileCollection merged;
    merged.Open(target / "game.dat");
    // The picture once, two scenario files, a setting and a picture from disc 1,
    // two scenario files and a picture from disc 2; and the end marker.
    EXPECT_EQ(merged.Count(), 9);
    EXPECT_GE(merged.IndexOf("scenario\\epilogue.txt"), 0);
    merged.Open("");

    auto r = RunGame(target.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err << r.Out;
    EXPECT_NE(r.Out.find("\n潮見坂の灯台\ngame.dat の 8 個のデータをすべて読み込みました\n[1] 終了\n"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Err, "");
}

TEST_F(SampleDiscs, TheGameFailsOnADamagedInstallation)
{
    TempDir target;
    Install(target.Path());
    // The last byte of a compressed entry is its zlib checksum's.
    TVrFileCollection merged;
    merged.Open(target / "game.dat");
    int32_t index = merged.IndexOf("scenario\\chapter2.txt");
    ASSERT_GE(index, 0);
    ASSERT_EQ(merged.Items(index).Stored, 0);
    size_t last = static_cast<size_t>(merged.Items(index).Offset + merged.Items(index).Size - 1);
    merged.Open("");
    std::string bytes = test::ReadFile(target / "game.dat");
    bytes[last] = static_cast<char>(bytes[last] ^ 0x55);
    test::WriteFile(target / "game.dat", bytes);

    auto r = RunGame(target.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Out.find("game.dat の 8 個のデータのうち 7 個を読み込みました"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("scenario\\chapter2.txt: "), std::string::npos) << r.Out;
    EXPECT_NE(r.Err.find("scenario\\chapter2.txt"), std::string::npos) << r.Err;

    // Without the archive, and without the description.
    ASSERT_TRUE(platform::RemoveFile(target / "game.dat"));
    auto none = RunGame(target.Path());
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_NE(none.Out.find("game.dat がありません"), std::string::npos) << none.Out;
    ASSERT_TRUE(platform::RemoveFile(target / "install.dat"));
    auto bare = RunGame(target.Path());
    EXPECT_EQ(bare.ExitCode, 1);
    EXPECT_NE(bare.Out.find("install.dat がありません"), std::string::npos) << bare.Out;
}

} // namespace
