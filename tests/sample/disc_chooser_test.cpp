// The program installed away from any disc and started without one: the
// sample set's discs found as an image beside it and as an image the system
// mounted, another game's disc as a folder, listed in the console and for
// the unattended run; a row chosen gives that disc's launcher.
#ifndef _WIN32
#include <sys/stat.h>

#include <memory>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "sample_files.h"
#include "setup/install_set.h"
#include "support/test_support.h"

using namespace tarn;
using sampletest::Host;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

// An image mounted read-only through a loop device, unmounted again
// whatever happens.
class LoopMount {
public:
    ~LoopMount()
    {
        if (!dir_.empty())
            platform::RunProcess("/usr/bin/umount", { dir_ });
    }
    // False, with why in error, where this machine does not let the test mount.
    bool Mount(const AnsiString& image, const AnsiString& dir, std::string& error)
    {
        platform::ForceDirectories(dir);
        auto r = platform::RunProcess("/usr/bin/mount", { "-o", "ro,loop", Host(image), Host(dir) });
        if (r.ExitCode != 0) {
            error = r.Err.empty() ? "mount ended with " + std::to_string(r.ExitCode) : r.Err;
            return false;
        }
        dir_ = Host(dir);
        return true;
    }

private:
    std::string dir_;
};

// The sample set as ISO images, built once; the program copied into a
// folder of its own beside disc 1's image, another game's disc in a folder
// beside it, disc 2 mounted among the media.
class ChooserOnTheSampleSet : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        set_ = std::make_unique<TempDir>();
        AnsiString title = *set_ / "title.bmp";
        auto drawn = platform::RunProcess(test::ProgramPath("tarn-sample-title"), { Host(title) });
        ASSERT_EQ(drawn.ExitCode, 0) << drawn.Err;
        auto built = platform::RunProcess(test::ProgramPath("mkdisc"),
                                          { Host(sampletest::SourceFile("examples/sample/manifest.json")), "-o", Host(*set_ / "iso"), "-D",
                                            "title=" + Host(title), "-D", "game=" + Host(test::ProgramPath("tarn-sample-game")), "-D",
                                            "setup=" + Host(test::SetupProgramPath()), "--image", "iso" });
        ASSERT_EQ(built.ExitCode, 0) << built.Err;
    }
    static void TearDownTestSuite() { set_.reset(); }

    void SetUp() override
    {
        platform::ForceDirectories(place / "prog");
        program = place / "prog\\tarn-setup";
        ASSERT_TRUE(platform::CopyFileWithAttributes(test::SetupProgramPath(), program));
        ::chmod(Host(program).c_str(), 0755);
        platform::ChangeDirectory(ExcludeTrailingBackslash(cwd.Path()));
    }
    // Discs in the three places; false (the test skipped or, under CI,
    // failed) where the image cannot be mounted.
    bool MakeDiscs()
    {
        EXPECT_TRUE(platform::CopyFileWithAttributes(*set_ / "iso\\disc1.iso", place / "disc1.iso"));
        platform::ForceDirectories(place / "other");
        TTarnInstallSet other;
        other.Title = S(u8"霧のゲーム");
        other.SetDiscCount(1);
        other.GameExe = "game.exe";
        other.SaveToFile(place / "other\\install.dat");
        std::string error;
        if (!loop.Mount(*set_ / "iso\\disc2.iso", media / "DISC2", error)) {
            if (test::UnderCI())
                ADD_FAILURE() << "cannot mount an image under CI: " << error;
            return false;
        }
        return true;
    }
    std::vector<std::string> Rows() const
    {
        return { "潮見坂の灯台 ― ディスク 1 / 2 ― " + Host(place / "disc1.iso"), "潮見坂の灯台 ― ディスク 2 / 2 ― " + Host(media / "DISC2"),
                 "霧のゲーム ― ディスク 1 / 1 ― " + Host(place / "other") };
    }
    platform::ProcessResult Run(const std::vector<std::string>& args, const std::string& input = {})
    {
        return platform::RunProcess(Host(program), args, input);
    }

    static std::unique_ptr<TempDir> set_;
    TempDir place, cwd, media;
    LoopMount loop; // unmounted before media goes
    test::CurrentDirectoryGuard guard;
    test::ScopedEnv mediaDirs{ "TARN_MEDIA_DIRS", Host(media.Path()) };
    test::ScopedEnv drives{ "TARN_DRIVE_DEVICES", "" };
    AnsiString program;
};

std::unique_ptr<TempDir> ChooserOnTheSampleSet::set_;

TEST_F(ChooserOnTheSampleSet, TheDiscsOfThreePlacesAreListedAndARowGivesItsLauncher)
{
    if (!MakeDiscs())
        GTEST_SKIP() << "no loop mount here";
    std::vector<std::string> rows = Rows();
    // The first row is chosen already: Enter starts it.
    auto r = Run({ "--ui=console", "--print-launch" }, "\nbtnInstall\n");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::string list = "\nディスクの選択\n";
    size_t at = r.Out.find(list);
    ASSERT_NE(at, std::string::npos) << r.Out;
    std::string expected = "  > 1. " + rows[0] + "\n    2. " + rows[1] + "\n    3. " + rows[2] + "\n";
    EXPECT_NE(r.Out.find(expected, at), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\n潮見坂の灯台\n", at), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("$$tinstall"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find(Host(place / "disc1.iso")), std::string::npos) << r.Out;

    // The disc the system mounted: its launcher, and the copy installs from it.
    r = Run({ "--ui=console", "--print-launch" }, "Discs=2\n\nbtnInstall\n");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("  > 2. " + rows[1]), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\\\"" + Host(media / "DISC2")), std::string::npos) << r.Out;

    // Without a person: nothing beside the program is wrong usage, and the
    // message names the discs there are.
    r = Run({ "--silent" });
    EXPECT_EQ(r.ExitCode, 2) << r.Err;
    EXPECT_NE(r.Err.find(Host(place / "prog")), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("見つかったディスク:\n  " + rows[0] + "\n  " + rows[1] + "\n  " + rows[2] + "\n"), std::string::npos) << r.Err;
}

TEST_F(ChooserOnTheSampleSet, WithNoDiscOnlyBrowseAndExitAreOffered)
{
    auto r = Run({ "--ui=console", "--print-launch" }, "");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("\nディスクの選択\nゲームのディスクが見つかりませんでした。\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("] 参照...\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("] 終了\n"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("開始"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("$$tinstall"), std::string::npos) << r.Out;
    // A disc typed as a path: the image's launcher.
    r = Run({ "--ui=console", "--print-launch" }, Host(*set_ / "iso\\disc1.iso") + "\nbtnInstall\n");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("\n潮見坂の灯台\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("$$tinstall"), std::string::npos) << r.Out;

    r = Run({ "--very-silent" });
    EXPECT_EQ(r.ExitCode, 2) << r.Err;
    EXPECT_NE(r.Err.find("見つかったディスクはありません。"), std::string::npos) << r.Err;
}

} // namespace
#endif
