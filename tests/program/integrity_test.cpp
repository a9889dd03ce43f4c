// An installation that proves itself: --verify tells each kind of damage
// apart, --repair copies exactly what is wrong again from the discs (folders
// or images), and the person's files and save data stay as they are. The
// installer program without a person, on a two-disc set of the test's own.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "../wizard/wizard_fixture.h"
#include "archive/vr_files.h"
#ifdef _WIN32
#include "iso_image.h"
#endif
#include "base/path.h"
#include "wizard/manifest.h"

using namespace tarn;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }

// A relative path as the host writes it in the check's lines.
std::string Rel(std::string path)
{
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

std::vector<DiscContent> TwoDiscs()
{
    DiscContent one, two;
    one.Files = { { "game.exe", "MZ the game, long enough to be cut short" },
                  { "readme.txt", "read me before you play" },
                  { "text\\one.txt", "the first chapter's notes" },
                  { "text\\two.txt", "the second chapter's notes" },
                  { "bgm\\title.mid", "MThd the title music" },
                  { "text\\blank.txt", "" } };
    one.Entries = { { "scenario\\one.txt", "first scene" }, { "system\\config.ini", "[config]" } };
    two.Files = { { "text\\three.txt", "the third chapter's notes" }, { "bgm\\ending.mid", "MThd the ending music" } };
    two.Entries = { { "scenario\\two.txt", "second scene, from the second disc" } };
    return { one, two };
}

void FlipByte(const AnsiString& path, int64_t at)
{
    auto f = platform::File::Open(path, platform::File::Mode::ReadWrite);
    ASSERT_TRUE(f);
    char c = 0;
    f->Seek(at);
    ASSERT_EQ(f->Read(&c, 1), 1);
    c = static_cast<char>(c ^ 0x5A);
    f->Seek(at);
    ASSERT_EQ(f->Write(&c, 1), 1);
}

// The lines of a check without its summary, and the summary.
std::pair<std::multiset<std::string>, std::string> Findings(const std::string& out)
{
    std::multiset<std::string> lines;
    std::string summary;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        std::string line = out.substr(start, end - start);
        if (line.find('\t') != std::string::npos)
            lines.insert(line);
        else if (!line.empty())
            summary = line;
        start = end == std::string::npos ? out.size() : end + 1;
    }
    return { lines, summary };
}

class Integrity : public ::testing::Test {
protected:
    Integrity() : set(S(u8"検査のゲーム") + std::to_string(++count), TwoDiscs()) { }
    static inline int count = 0;

    platform::ProcessResult Run(std::vector<std::string> args) { return platform::RunProcess(test::SetupProgramPath(), args); }
    AnsiString Installed()
    {
        AnsiString dir = dest / "game";
        auto r = Run({ "--silent", Host(set.Disc(0)), "--dir", Host(dir), "--components", "all", "--no-shortcuts" });
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return dir;
    }

    // disc1.iso and disc2.iso of the set in dir.
    void MakeImages(const TempDir& dir)
    {
        for (int i = 0; i < 2; ++i) {
            AnsiString iso = dir / ("disc" + std::to_string(i + 1) + ".iso");
#ifdef _WIN32
            // (No Linux tool runs from here: the images are the project's writer's.)
            mkdisc::ImageTarget t;
            t.Base = ChangeFileExt(iso, "");
            t.VolumeId = "DISC" + std::to_string(i + 1);
            mkdisc::WriteDiscImage(set.Disc(i), t);
#else
            ASSERT_TRUE(test::ToolAvailable("xorriso")) << "xorriso is needed";
            auto r = platform::RunProcess(test::ToolPath("xorriso"), { "-as", "mkisofs", "-quiet", "-J", "-R", "-V",
                                                                       "DISC" + std::to_string(i + 1), "-o", Host(iso), Host(set.Disc(i)) });
            ASSERT_EQ(r.ExitCode, 0) << r.Err;
#endif
        }
    }

    DiscSet set;
    TempDir dest;
};

#ifndef _WIN32
// A file its owner cannot read is only unreadable for someone who is not
// root: as root the check runs as nobody over a tree opened up for it.
platform::ProcessResult VerifyAsAPerson(const AnsiString& dir, std::vector<std::string> more)
{
    std::vector<std::string> args = { "--verify", Host(dir) };
    args.insert(args.end(), more.begin(), more.end());
    if (::geteuid() != 0)
        return platform::RunProcess(test::SetupProgramPath(), args);
    for (const std::string& root : { Host(dir), platform::GetEnv("XDG_DATA_HOME") }) {
        // Every folder on the way and every file below, but the one made unreadable.
        for (std::string p = root; p.size() > 1; p = p.substr(0, p.find_last_of('/'))) {
            struct stat st;
            if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                ::chmod(p.c_str(), st.st_mode | 0055);
        }
        platform::RunProcess(platform::PathFromHost("/usr/bin/find"),
                             { root, "-type", "f", "-perm", "-u=r", "-exec", "chmod", "go+r", "{}", "+" });
        platform::RunProcess(platform::PathFromHost("/usr/bin/find"),
                             { root, "-type", "d", "-exec", "chmod", "go+rx", "{}", "+" });
    }
    args.insert(args.begin(), { "--reuid=65534", "--regid=65534", "--clear-groups", "--", Host(test::SetupProgramPath()) });
    return platform::RunProcess(platform::PathFromHost("/usr/bin/setpriv"), args);
}
#endif

TEST_F(Integrity, VerifyTellsEachDamageApartAndRepairPutsItRightFromTheDiscs)
{
    AnsiString dir = Installed();
    auto clean = Run({ "--verify", Host(dir) });
    ASSERT_EQ(clean.ExitCode, 0) << clean.Out << clean.Err;
    EXPECT_NE(clean.Out.find("checked 9 files and 3 archive entries"), std::string::npos) << clean.Out;

    // Three files changed in place, one cut short, one deleted, one made
    // unreadable, one archive entry changed in place, two files of the person's.
    FlipByte(dir + "\\readme.txt", 3);
    FlipByte(dir + "\\text\\one.txt", 0);
    FlipByte(dir + "\\bgm\\ending.mid", 8);
    test::WriteFile(dir + "\\game.exe", "MZ the game");
    ASSERT_TRUE(platform::RemoveFile(dir + "\\text\\three.txt"));
    {
        TVrFileCollection archive;
        archive.Open(dir + "\\game.dat");
        int32_t i = archive.IndexOf("scenario\\two.txt");
        ASSERT_GE(i, 0);
        int64_t at = archive.Items(i).Offset + archive.Items(i).Size / 2;
        archive.Open("");
        FlipByte(dir + "\\game.dat", at);
    }
    test::WriteFile(dir + "\\save.dat", "progress");
    test::WriteFile(dir + "\\notes.txt", "mine");
    std::multiset<std::string> expected = { "content differs\treadme.txt", "content differs\t" + Rel("text/one.txt"),
                                             "content differs\t" + Rel("bgm/ending.mid"), "size differs\tgame.exe",
                                             "missing\t" + Rel("text/three.txt"), "content differs\tgame.dat:scenario\\two.txt",
                                             "extra file\tsave.dat", "extra file\tnotes.txt" };
#ifndef _WIN32
    ASSERT_EQ(::chmod(Host(dir + "\\text\\two.txt").c_str(), 0), 0);
    expected.insert("unreadable\t" + Rel("text/two.txt"));
    auto check = [&](std::vector<std::string> more) { return VerifyAsAPerson(dir, more); };
#else
    auto check = [&](std::vector<std::string> more) {
        more.insert(more.begin(), { "--verify", Host(dir) });
        return Run(more);
    };
#endif
    auto found = check({});
    ASSERT_EQ(found.ExitCode, 6) << found.Out << found.Err;
    auto [lines, summary] = Findings(found.Out);
    EXPECT_EQ(lines, expected) << found.Out;
    const int wrong = static_cast<int>(expected.size()) - 2;
    EXPECT_NE(summary.find(std::to_string(wrong) + " wrong, 2 extra"), std::string::npos) << summary;
    auto json = nlohmann::json::parse(check({ "--json" }).Out);
    EXPECT_EQ(json["wrong"], wrong);
    EXPECT_EQ(json["extra"], 2);
    EXPECT_EQ(json["findings"].size(), expected.size());

    // Without the discs nowhere to be found, the repair ends as a missing disc does.
    TempDir elsewhere;
    ASSERT_TRUE(platform::RenameFile(set.Root(), elsewhere / "discs"));
    auto missing = Run({ "--silent", "--repair", Host(dir) });
    EXPECT_EQ(missing.ExitCode, 5) << missing.Err;
    ASSERT_TRUE(platform::RenameFile(elsewhere / "discs", set.Root()));

    auto repaired = Run({ "--silent", "--repair", Host(dir), "--disc", "1=" + Host(set.Disc(0)), "--disc", "2=" + Host(set.Disc(1)) });
    ASSERT_EQ(repaired.ExitCode, 0) << repaired.Err;
    // (Root reads the unreadable file all the same: for it, that file is right.)
    bool unreadable = false;
#ifndef _WIN32
    unreadable = ::geteuid() != 0;
#endif
    EXPECT_NE(repaired.Err.find(std::string(unreadable ? "6" : "5") + " files copied again, 1 archive entries merged again"),
              std::string::npos)
        << repaired.Err;
    auto after = Run({ "--verify", Host(dir) });
    EXPECT_EQ(after.ExitCode, 0) << after.Out;
    EXPECT_EQ(test::ReadFile(dir + "\\save.dat"), "progress");
    EXPECT_EQ(test::ReadFile(dir + "\\notes.txt"), "mine");
    EXPECT_EQ(test::ReadFile(dir + "\\text\\two.txt"), "the second chapter's notes");
    // The discs themselves agree.
    auto discs = Run({ "--verify", "--against-discs", Host(set.Disc(0)) });
    EXPECT_EQ(discs.ExitCode, 0) << discs.Out << discs.Err;
}

TEST_F(Integrity, RepairTakesTheDiscsFromImagesAndBuildsALostArchiveAgain)
{
    AnsiString dir = Installed();
    TempDir images;
    ASSERT_NO_FATAL_FAILURE(MakeImages(images));
    // The archive gone as a whole, the description cut short.
    ASSERT_TRUE(platform::RemoveFile(dir + "\\game.dat"));
    test::WriteFile(dir + "\\install.dat", "TARN");
    auto broken = Run({ "--verify", Host(dir) });
    EXPECT_EQ(broken.ExitCode, 6);
    EXPECT_NE(broken.Out.find("missing\tgame.dat\n"), std::string::npos) << broken.Out;
    EXPECT_NE(broken.Out.find("install.dat\n"), std::string::npos) << broken.Out;

    test::RemoveTree(set.Root());
    auto repaired = Run({ "--silent", "--repair", Host(dir), "--disc", "1=" + Host(images / "disc1.iso"), "--disc",
                          "2=" + Host(images / "disc2.iso") });
    ASSERT_EQ(repaired.ExitCode, 0) << repaired.Err;
    auto after = Run({ "--verify", "--json", Host(dir) });
    EXPECT_EQ(after.ExitCode, 0) << after.Out;
    EXPECT_EQ(nlohmann::json::parse(after.Out)["entries"], 3);
}

// Installed from images with no drive at all: the repair looks first where
// the install read each disc, and where it is gone says how to name it.
TEST_F(Integrity, RepairFindsTheImagesTheInstallReadAndOtherwiseSaysHowToNameThem)
{
    TempDir images;
    ASSERT_NO_FATAL_FAILURE(MakeImages(images));
    test::RemoveTree(set.Root());
    AnsiString dir = dest / "game";
    auto installed = Run({ "--silent", Host(images / "disc1.iso"), "--dir", Host(dir), "--components", "all", "--no-shortcuts" });
    ASSERT_EQ(installed.ExitCode, 0) << installed.Err;
    std::optional<TInstallManifest> record = TInstallManifest::Load(AddBackslash(dir));
    ASSERT_TRUE(record);
    EXPECT_TRUE(SameText(record->DiscPlaces[1], images / "disc1.iso")) << record->DiscPlaces[1];
    EXPECT_TRUE(SameText(record->DiscPlaces[2], images / "disc2.iso")) << record->DiscPlaces[2];

    auto second = std::find_if(record->Files.rbegin(), record->Files.rend(), [](const auto& f) { return f.Disc == 2; });
    ASSERT_NE(second, record->Files.rend());
    const TInstallManifest::File& last = *second;
    ASSERT_TRUE(platform::RemoveFile(AddBackslash(dir) + last.Path));
    auto repaired = Run({ "--silent", "--repair", Host(dir) });
    ASSERT_EQ(repaired.ExitCode, 0) << repaired.Err;
    EXPECT_EQ(Run({ "--verify", Host(dir) }).ExitCode, 0);

    // The images moved: the repair ends with the status of a missing disc
    // and names the option.
    ASSERT_TRUE(platform::RemoveFile(AddBackslash(dir) + last.Path));
    TempDir elsewhere; // (beside the installation, it would be found there)
    AnsiString moved = elsewhere / "moved";
    platform::ForceDirectories(moved);
    ASSERT_TRUE(platform::RenameFile(images / "disc2.iso", moved + "\\disc2.iso"));
    auto lost = Run({ "--silent", "--repair", Host(dir) });
    EXPECT_EQ(lost.ExitCode, 5) << lost.Err;
    EXPECT_NE(lost.Err.find("--disc 2=PATH"), std::string::npos) << lost.Err;
    auto named = Run({ "--silent", "--repair", Host(dir), "--disc", "2=" + Host(moved + "\\disc2.iso") });
    EXPECT_EQ(named.ExitCode, 0) << named.Err;
}

TEST_F(Integrity, ACheckNeedsAnInstallationAndARecordOrTheDiscs)
{
    AnsiString dir = Installed();
    // No such folder.
    auto none = Run({ "--verify", Host(dest / "nothing") });
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_FALSE(none.Err.empty());
    // An installation whose record is gone: said so, and compared with the
    // discs when they are given.
    ASSERT_TRUE(TInstallManifest::Remove(AddBackslash(dir)));
    auto unrecorded = Run({ "--verify", Host(dir) });
    EXPECT_EQ(unrecorded.ExitCode, 1);
    EXPECT_NE(unrecorded.Err.find("--disc"), std::string::npos) << unrecorded.Err;
    FlipByte(dir + "\\text\\one.txt", 1);
#ifndef _WIN32
    // A pipe where an empty file was is told, never opened (nothing would come).
    ASSERT_TRUE(platform::RemoveFile(dir + "\\text\\blank.txt"));
    ASSERT_EQ(::mkfifo(Host(dir + "\\text\\blank.txt").c_str(), 0644), 0);
#endif
    auto compared = Run({ "--verify", Host(dir), "--disc", "1=" + Host(set.Disc(0)), "--disc", "2=" + Host(set.Disc(1)) });
    EXPECT_EQ(compared.ExitCode, 6) << compared.Out << compared.Err;
    EXPECT_NE(compared.Out.find("content differs\t" + Rel("text/one.txt") + "\n"), std::string::npos) << compared.Out;
#ifndef _WIN32
    EXPECT_NE(compared.Out.find("content differs\t" + Rel("text/blank.txt") + "\n"), std::string::npos) << compared.Out;
    EXPECT_NE(compared.Out.find("against the discs: 2 wrong"), std::string::npos) << compared.Out;
#else
    EXPECT_NE(compared.Out.find("against the discs: 1 wrong"), std::string::npos) << compared.Out;
#endif
    // Nothing to repair from without a record.
    auto repair = Run({ "--silent", "--repair", Host(dir), "--disc", "1=" + Host(set.Disc(0)) });
    EXPECT_EQ(repair.ExitCode, 1);
}

} // namespace
