// The program installed away from any disc and started without one: the
// sample set's discs found as an image beside it and as an image the system
// mounted, another game's disc as a folder, listed in the console and for
// the unattended run; a row chosen gives that disc's launcher.
#ifndef _WIN32
#include <sys/stat.h>

#include <cstdio>
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

// A program path as --print-launch writes it in its JSON.
std::string InJson(const AnsiString& path)
{
    std::string out;
    for (char c : AnsiToHostUtf8(path))
        out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

// Disc 2 as the system gives a disc: an image mounted read-only through a
// loop device, or where this kernel reads no ISO 9660 itself, the loop
// device as a drive with the disc in it. Undone whatever happens.
class LoopDisc {
public:
    ~LoopDisc()
    {
        if (!mounted_.empty())
            platform::RunProcess("/usr/bin/umount", { mounted_ });
        if (!device_.empty())
            platform::RunProcess("/usr/sbin/losetup", { "-d", device_ });
    }
    // The place the disc is read from (the mount point or the device), ""
    // with why in error where this machine lets the test do neither.
    std::string Attach(const AnsiString& image, const AnsiString& mountPoint, std::string& error)
    {
        platform::ForceDirectories(mountPoint);
        auto m = platform::RunProcess("/usr/bin/mount", { "-o", "ro,loop", Host(image), Host(mountPoint) });
        if (m.ExitCode == 0)
            return mounted_ = Host(mountPoint);
        auto l = platform::RunProcess("/usr/sbin/losetup", { "-r", "-f", "--show", Host(image) });
        std::string device = l.Out.substr(0, l.Out.find('\n'));
        if (l.ExitCode != 0 || device.empty()) {
            error = "mount: " + m.Err + "losetup: " + l.Err;
            return {};
        }
        std::printf("(the kernel mounts no ISO 9660 here: disc 2 is read in the drive %s)\n", device.c_str());
        return device_ = device;
    }

private:
    std::string mounted_, device_;
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
        disc2 = loop.Attach(*set_ / "iso\\disc2.iso", media / "DISC2", error);
        if (disc2.empty()) {
            if (test::UnderCI())
                ADD_FAILURE() << "cannot mount an image or attach a loop device under CI: " << error;
            return false;
        }
        if (disc2.starts_with("/dev/"))
            drives = std::make_unique<test::ScopedEnv>("TARN_DRIVE_DEVICES", disc2);
        return true;
    }
    std::vector<std::string> Rows() const
    {
        return { "潮見坂の灯台 ― ディスク 1 / 2 ― " + Host(place / "disc1.iso"), "潮見坂の灯台 ― ディスク 2 / 2 ― " + disc2,
                 "霧のゲーム ― ディスク 1 / 1 ― " + Host(place / "other") };
    }
    platform::ProcessResult Run(const std::vector<std::string>& args, const std::string& input = {})
    {
        return platform::RunProcess(Host(program), args, input);
    }

    static std::unique_ptr<TempDir> set_;
    TempDir place, cwd, media;
    LoopDisc loop; // undone before media goes
    test::CurrentDirectoryGuard guard;
    test::ScopedEnv mediaDirs{ "TARN_MEDIA_DIRS", Host(media.Path()) };
    test::ScopedEnv noDrives{ "TARN_DRIVE_DEVICES", "" };
    std::unique_ptr<test::ScopedEnv> drives;
    std::string disc2;
    AnsiString program;
};

std::unique_ptr<TempDir> ChooserOnTheSampleSet::set_;

TEST_F(ChooserOnTheSampleSet, TheDiscsOfThreePlacesAreListedAndARowGivesItsLauncher)
{
    if (!MakeDiscs())
        GTEST_SKIP() << "no loop device here";
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
    EXPECT_NE(r.Out.find("\"params\":\"\\\"" + InJson(place / "disc1.iso")), std::string::npos) << r.Out;

    // The disc the system mounted: its launcher, and the copy installs from it.
    r = Run({ "--ui=console", "--print-launch" }, "Discs=2\n\nbtnInstall\n");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("  > 2. " + rows[1]), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\"params\":\"\\\"" + InJson(platform::PathFromHost(disc2))), std::string::npos) << r.Out;

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
