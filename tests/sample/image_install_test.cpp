// The sample set installed from disc images, read in place: the same
// installation as from the disc folders, whatever the container.
#include <map>
#include <memory>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "sample_files.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

// Every file of an installation with its bytes.
std::map<std::string, std::string> Contents(const AnsiString& dir)
{
    std::map<std::string, std::string> files;
    for (const AnsiString& f : test::TreeOf(dir))
        files[f] = test::ReadFile(AddBackslash(dir) + f);
    return files;
}

std::string BigEndian(uint64_t v, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>(v >> (8 * i));
    return out;
}

// The other containers, made here from what mkdisc wrote: the raw sectors
// of its .bin as a CloneCD image and as a sheet with a file per track (an
// audio track after the data), the .iso's sectors as a Nero image (version 2,
// written at once: DAOX).
void MakeContainers(const AnsiString& iso, const AnsiString& raw, const AnsiString& out)
{
    platform::ForceDirectories(out + "ccd");
    platform::ForceDirectories(out + "tracks");
    platform::ForceDirectories(out + "nrg");
    for (int d = 1; d <= 2; ++d) {
        std::string n = std::to_string(d);
        std::string sectors = test::ReadFile(raw + "disc" + n + ".bin");
        std::string cooked = test::ReadFile(iso + "disc" + n + ".iso");
        size_t count = sectors.size() / 2352;
        test::WriteFile(out + "ccd\\disc" + n + ".img", sectors);
        test::WriteFile(out + "ccd\\disc" + n + ".ccd",
                        "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=4\r\nSessions=1\r\nDataTracksScrambled=0\r\n"
                        "[Session 1]\r\nPreGapMode=1\r\nPreGapSubC=0\r\n"
                        "[Entry 0]\r\nSession=1\r\nPoint=0xa0\r\nADR=0x01\r\nControl=0x04\r\nPMin=1\r\nPSec=0\r\nPFrame=0\r\nPLBA=4350\r\n"
                        "[Entry 1]\r\nSession=1\r\nPoint=0xa1\r\nADR=0x01\r\nControl=0x04\r\nPMin=1\r\nPSec=0\r\nPFrame=0\r\nPLBA=4350\r\n"
                        "[Entry 2]\r\nSession=1\r\nPoint=0xa2\r\nADR=0x01\r\nControl=0x04\r\nPLBA=" +
                            std::to_string(count) +
                            "\r\n[Entry 3]\r\nSession=1\r\nPoint=0x01\r\nADR=0x01\r\nControl=0x04\r\nPMin=0\r\nPSec=2\r\nPFrame=0\r\nPLBA=0\r\n"
                            "[TRACK 1]\r\nMODE=1\r\nINDEX 1=0\r\n");
        test::WriteFile(out + "tracks\\disc" + n + " (Track 1).bin", sectors);
        test::WriteFile(out + "tracks\\disc" + n + " (Track 2).bin", std::string(300 * 2352, '\0'));
        test::WriteFile(out + "tracks\\disc" + n + ".cue", "FILE \"disc" + n + " (Track 1).bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                                                              "FILE \"disc" + n + " (Track 2).bin\" BINARY\n  TRACK 02 AUDIO\n    PREGAP 00:02:00\n"
                                                              "    INDEX 01 00:00:00\n");
        std::string dao = BigEndian(22 + 42, 4) + std::string(14, '\0') + BigEndian(0, 2) + "\x01\x01" + std::string(12, '\0') +
                          BigEndian(2048, 2) + std::string(1, '\0') + std::string(3, '\0') + BigEndian(0, 8) + BigEndian(0, 8) +
                          BigEndian(cooked.size(), 8);
        test::WriteFile(out + "nrg\\disc" + n + ".nrg", cooked + "DAOX" + BigEndian(dao.size(), 4) + dao + "END!" + BigEndian(0, 4) +
                                                              "NER5" + BigEndian(cooked.size(), 8));
    }
}

// The sample set built once as folders, as ISO images and as cue sheets
// with raw sectors.
class SampleImages : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = std::make_unique<TempDir>();
        AnsiString title = *dir_ / "title.bmp";
        auto drawn = platform::RunProcess(test::ProgramPath("tarn-sample-title"), { sampletest::Host(title) });
        ASSERT_EQ(drawn.ExitCode, 0) << drawn.Err;
        for (const char* form : { "", "iso", "cue" }) {
            std::vector<std::string> args = { sampletest::Host(sampletest::SourceFile("examples/sample/manifest.json")),
                                              "-o",
                                              sampletest::Host(*dir_ / (*form ? form : "folders")),
                                              "-D",
                                              "title=" + sampletest::Host(title),
                                              "-D",
                                              "game=" + sampletest::Host(test::ProgramPath("tarn-sample-game")),
                                              "-D",
                                              "setup=" + sampletest::Host(test::SetupProgramPath()) };
            if (*form)
                args.insert(args.end(), { "--image", form });
            auto built = platform::RunProcess(test::ProgramPath("mkdisc"), args);
            ASSERT_EQ(built.ExitCode, 0) << built.Err;
        }
        MakeContainers(Set("iso"), Set("cue"), dir_->Path());
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static AnsiString Set(const char* form) { return *dir_ / form + "\\"; }

    // An unattended install of everything from source into target; its files.
    static std::map<std::string, std::string> InstallFrom(const AnsiString& source, const AnsiString& target,
                                                          std::vector<std::string> more = {})
    {
        std::vector<std::string> args = { "--very-silent", sampletest::Host(source), "--dir", sampletest::Host(target), "--components", "all" };
        args.insert(args.end(), more.begin(), more.end());
        auto r = platform::RunProcess(test::SetupProgramPath(), args);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        auto files = Contents(target);
        auto removed = platform::RunProcess(test::SetupProgramPath(), { "--very-silent", "--uninstall", "--delete-save", sampletest::Host(target) });
        EXPECT_EQ(removed.ExitCode, 0) << removed.Err;
        EXPECT_FALSE(platform::DirectoryExists(target));
        return files;
    }

    static std::unique_ptr<TempDir> dir_;
};

std::unique_ptr<TempDir> SampleImages::dir_;

TEST_F(SampleImages, EveryContainerGivesTheInstallationOfTheFolders)
{
    TempDir home;
    AnsiString target = home / S(u8"潮見坂");
    auto fromFolders = InstallFrom(Set("folders") + "disc1", target);
    ASSERT_GT(fromFolders.size(), 10u);
    for (const char* image : { "iso\\disc1.iso", "cue\\disc1.cue", "tracks\\disc1.cue", "ccd\\disc1.ccd", "nrg\\disc1.nrg" }) {
        SCOPED_TRACE(image);
        auto fromImage = InstallFrom(*dir_ / image, target);
        EXPECT_EQ(fromImage.size(), fromFolders.size());
        for (const auto& [name, bytes] : fromFolders)
            EXPECT_TRUE(fromImage.count(name) && fromImage[name] == bytes) << name;
    }
    // The image's own uninstall: the installation the registry names for its game.
    auto r = platform::RunProcess(test::SetupProgramPath(),
                                  { "--very-silent", sampletest::Host(*dir_ / "iso\\disc1.iso"), "--dir", sampletest::Host(target), "--components", "all" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    auto removed = platform::RunProcess(test::SetupProgramPath(), { "--very-silent", "--uninstall", "--delete-save", sampletest::Host(*dir_ / "iso\\disc1.iso") });
    EXPECT_EQ(removed.ExitCode, 0) << removed.Err;
    EXPECT_FALSE(platform::DirectoryExists(target));
}

TEST_F(SampleImages, TheOtherDiscIsFoundByWhatItHoldsNotByItsName)
{
    TempDir home, discs;
    AnsiString target = home / "game";
    auto expected = InstallFrom(Set("folders") + "disc1", target);
    // Three naming styles, and disc 2 in a folder of its own beside them.
    struct Style {
        const char* first;
        const char* second;
    };
    for (Style s : { Style{ "Game (Disc 1).iso", "Game (Disc 2).iso" }, Style{ "game-cd1.iso", "zz 2of2.iso" },
                     Style{ "a.iso", "other\\label.iso" } }) {
        SCOPED_TRACE(s.second);
        TempDir place;
        ASSERT_TRUE(platform::ForceDirectories(ExtractFilePath(place / s.second)));
        ASSERT_TRUE(platform::CopyFileWithAttributes(Set("iso") + "disc1.iso", place / s.first));
        ASSERT_TRUE(platform::CopyFileWithAttributes(Set("iso") + "disc2.iso", place / s.second));
        // A stranger among them is opened and passed over.
        test::WriteFile(place / "broken.iso", std::string(70000, 'x'));
        EXPECT_EQ(InstallFrom(place / s.first, target), expected);
    }
    // A playlist names disc 2 in a folder no rule would look in.
    TempDir place;
    ASSERT_TRUE(platform::ForceDirectories(place / "deep\\er"));
    ASSERT_TRUE(platform::CopyFileWithAttributes(Set("iso") + "disc1.iso", place / S(u8"ゲーム 1.iso")));
    ASSERT_TRUE(platform::CopyFileWithAttributes(Set("iso") + "disc2.iso", place / "deep\\er\\two.iso"));
    test::WriteFile(place / "game.m3u", "# discs\r\n" + AnsiToHostUtf8(S(u8"ゲーム 1.iso")) + "\r\ndeep/er/two.iso\r\n");
    EXPECT_EQ(InstallFrom(place / S(u8"ゲーム 1.iso"), target), expected);
}

TEST_F(SampleImages, APersonOpensTheImageAndGetsItsLauncher)
{
    auto r = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", "--print-launch", sampletest::Host(Set("iso") + "disc1.iso") }, "btnInstall\n");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("\n潮見坂の灯台\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("[2] インストール"), std::string::npos) << r.Out;
    // The temporary copy is handed the image, from which it installs.
    EXPECT_NE(r.Out.find("disc1.iso"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("$$tinstall"), std::string::npos) << r.Out;

    // The temporary copy's wizard, as the launcher starts it, on the image.
    AnsiString copy = AddBackslash(platform::TempDirectory()) + "$$tinstall.exe";
    ASSERT_TRUE(platform::CopyFileWithAttributes(test::SetupProgramPath(), copy));
    TempDir home;
    AnsiString target = home / "game";
    std::string input = "\n\nEditDir=" + sampletest::Host(target) + "\n\n\n";
    auto wizard = platform::RunProcess(copy, { "--ui=console", sampletest::Host(Set("iso") + "disc1.iso\\") }, input);
    EXPECT_EQ(wizard.ExitCode, 0) << wizard.Err;
    EXPECT_NE(wizard.Out.find("\n完了\nインストールが完了しました\n"), std::string::npos) << wizard.Out;
    EXPECT_EQ(wizard.Out.find("ディスク2を入れて"), std::string::npos) << wizard.Out;
    EXPECT_TRUE(platform::FileExists(AddBackslash(target) + "manual\\manual.html"));
    // Copied from the disc, the files are the person's to change.
    EXPECT_EQ(platform::FileGetAttr(AddBackslash(target) + "readme.txt") & faReadOnly, 0);
}

#ifndef _WIN32
// Read-only loop devices over images stand for drives with discs in them:
// detached again whatever happens.
class LoopDevices {
public:
    ~LoopDevices()
    {
        for (const std::string& d : devices_)
            platform::RunProcess(platform::PathFromHost("/usr/sbin/losetup"), { "-d", d });
    }
    // The device, or "" with why in error.
    std::string Attach(const AnsiString& image, std::string& error)
    {
        auto r = platform::RunProcess(platform::PathFromHost("/usr/sbin/losetup"), { "-r", "-f", "--show", sampletest::Host(image) });
        std::string device = r.Out.substr(0, r.Out.find('\n'));
        if (r.ExitCode != 0 || device.empty()) {
            error = r.Err.empty() ? "losetup ended with " + std::to_string(r.ExitCode) : r.Err;
            return {};
        }
        devices_.push_back(device);
        return device;
    }

private:
    std::vector<std::string> devices_;
};

TEST_F(SampleImages, DiscsInDrivesAreReadThroughTheirDevices)
{
    TempDir home;
    AnsiString target = home / "game";
    auto expected = InstallFrom(Set("folders") + "disc1", target);
    LoopDevices loops;
    std::string error;
    std::string first = loops.Attach(Set("iso") + "disc1.iso", error);
    std::string second = first.empty() ? std::string() : loops.Attach(Set("iso") + "disc2.iso", error);
    if (second.empty()) {
        if (test::UnderCI())
            FAIL() << "no loop device under CI: " << error;
        GTEST_SKIP() << "no loop device here: " << error;
    }
    // Disc 1 named by its device; disc 2 in "the other drive".
    test::ScopedEnv drives("TARN_DRIVE_DEVICES", second);
    EXPECT_EQ(InstallFrom(platform::PathFromHost(first), target), expected);
}
#endif

TEST_F(SampleImages, ABrokenImageIsRefusedByName)
{
    TempDir place;
    AnsiString image = place / "disc1.iso";
    test::WriteFile(image, test::ReadFile(Set("iso") + "disc1.iso").substr(0, 20000));
    auto r = platform::RunProcess(test::SetupProgramPath(), { "--very-silent", sampletest::Host(image), "--dir", sampletest::Host(place / "t") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("disc1.iso"), std::string::npos) << r.Err;
    EXPECT_FALSE(platform::DirectoryExists(place / "t"));
}

} // namespace
