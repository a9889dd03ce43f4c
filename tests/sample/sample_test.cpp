// The bundled sample disc set: built from examples/sample with mkdisc as
// ./dev run builds it, opened by the launcher, and its game program run on an
// installation merged from both discs.
#include <memory>

#include "archive/vr_files.h"
#include "base/codepage.h"
#include "base/path.h"
#include "graphics/gale.h"
#include "graphics/png_file.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

std::string Host(const AnsiString& path)
{
    std::string host;
    EXPECT_TRUE(platform::HostPath(path, host));
    return host;
}

// A file of the project's sources as a program path.
AnsiString SourceFile(std::string_view rel)
{
    std::string host = std::string(TARN_SOURCE_DIR) + "/" + std::string(rel);
#ifdef _WIN32
    // Wine shows the host's root as drive Z:.
    if (host.starts_with("/"))
        host = "Z:" + host;
    for (char& c : host)
        if (c == '/')
            c = '\\';
#endif
    return platform::PathFromHost(host);
}

int64_t SizeOf(const AnsiString& path)
{
    int64_t size = platform::FileSize(path);
    EXPECT_GE(size, 0) << platform::DisplayPath(path);
    return size;
}

AnsiString SetupProgram()
{
#ifdef _WIN32
    return test::ProgramPath("install");
#else
    return test::ProgramPath("tarn-setup");
#endif
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
                                            "-D", "setup=" + Host(SetupProgram()) });
        ASSERT_EQ(built.ExitCode, 0) << built.Err;
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static AnsiString Disc(int n) { return *dir_ / "sample\\disc" + IntToStr(n) + "\\"; }

    // An installation of both discs as the install run makes it: the game
    // program, both archives merged into one, the description with Installed.
    static void Install(const AnsiString& target)
    {
        ASSERT_TRUE(platform::CopyFileWithAttributes(Disc(1) + "game.exe", target + "game.exe"));
        TVrFileCollection merged;
        merged.Open(target + "game.dat", true);
        for (int n : { 1, 2 }) {
            TVrFileCollection disc;
            disc.Open(Disc(n) + "game.dat");
            merged.Merge(disc);
        }
        TTarnInstallSet d;
        d.LoadFromFile(Disc(2) + "install.dat");
        d.Installed = 1;
        d.SaveToFile(target + "install.dat");
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
    const int32_t program[] = { static_cast<int32_t>(SizeOf(src + "disc1\\readme.txt") + SizeOf(SetupProgram()) +
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
    auto r = platform::RunProcess(SetupProgram(), { "--ui=console", "--print-launch", "--source", Host(Disc(1)) });
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("\n潮見坂の灯台\n[1-] ゲームスタート\n[2] インストール\n[3] DirectXをインストール\n"
                         "[4] WindowsMediaPlayerをインストール\n[5] 終了\n"),
              std::string::npos)
        << r.Out;
    EXPECT_EQ(r.Out.find('{'), std::string::npos) << r.Out;
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
