// Installs from disc images read in place against the same set as folders,
// and against what people do without root today (bsdtar of both images into
// a folder, then the install from there); finding disc 2 among 20 images;
// discimg ls of an image of 20,000 files.
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "base/codepage.h"
#include "base/path.h"
#include "bench_discs.h"
#include "bench_util.h"
#include "iso_image.h"
#include "media/disc_volume.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "platform/volume.h"
#include "setup/install_set.h"
#include "ui/application.h"
#include "ui/null_backend.h"
#include "wizard/disc_finder.h"

using namespace tarn;
using Clock = std::chrono::steady_clock;

namespace {

std::string Host(const AnsiString& p) { return platform::DisplayPath(p); }

// The generated set as images side by side in a folder of their own.
AnsiString Images(const AnsiString& root, mkdisc::ImageFormat format)
{
    const char* name = format == mkdisc::ImageFormat::Iso ? "iso" : "cue";
    AnsiString dir = root + "images-" + name + "\\";
    if (platform::FileExists(dir + "complete"))
        return dir;
    bench::RemoveTree(dir);
    platform::ForceDirectories(dir);
    for (int d = 1; d <= 2; ++d) {
        mkdisc::ImageTarget t;
        t.Format = format;
        t.Base = dir + "disc" + std::to_string(d);
        t.VolumeId = "DISC" + std::to_string(d);
        mkdisc::WriteDiscImage(root + "disc" + std::to_string(d) + "\\", t);
    }
    platform::File::Open(dir + "complete", platform::File::Mode::Create);
    return dir;
}

// Twenty images of small discs, of three other games and of this one's two
// discs, disc 2 the last by name.
AnsiString TwentyImages()
{
    AnsiString dir = bench::DataDir() + "twenty-images\\";
    if (platform::FileExists(dir + "complete"))
        return dir;
    bench::RemoveTree(dir);
    std::mt19937 rng(3);
    for (int i = 0; i < 20; ++i) {
        AnsiString disc = dir + "work\\" + std::to_string(i) + "\\";
        TTarnInstallSet set;
        bool ours = i == 0 || i == 19;
        set.Title = ours ? Sjis(u8"探すゲーム") : Sjis(u8"ほかのゲーム") + std::to_string(i % 3);
        set.RegistryKey = ours ? "TarnBench\\Find" : "TarnBench\\Other" + std::to_string(i % 3);
        set.SetDiscCount(2);
        set.DiscIndex = i == 19 ? 1 : i % 2;
        set.MediaName = "CD-ROM";
        platform::ForceDirectories(disc);
        set.SaveToFile(disc + "install.dat");
        for (int f = 0; f < 200; ++f)
            bench::WriteBytes(disc + "data\\f" + std::to_string(f) + ".bin", bench::Bytes(64u << 10, rng));
        mkdisc::ImageTarget t;
        t.Base = dir + (i == 0 ? std::string("a first") : i == 19 ? std::string("z second") : "m" + std::to_string(i));
        t.VolumeId = "DISC";
        mkdisc::WriteDiscImage(disc, t);
    }
    bench::RemoveTree(dir + "work\\");
    platform::File::Open(dir + "complete", platform::File::Mode::Create);
    return dir;
}

AnsiString TwentyThousandFiles()
{
    AnsiString dir = bench::DataDir() + "image-20000\\";
    if (platform::FileExists(dir + "complete"))
        return dir + "files.iso";
    bench::RemoveTree(dir);
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 500; ++f)
            bench::WriteBytes(dir + "tree\\" + Sjis(u8"フォルダ") + std::to_string(d) + "\\" + Sjis(u8"ファイル") + std::to_string(f) + ".txt",
                              std::to_string(d * 1000 + f));
    mkdisc::ImageTarget t;
    t.Base = dir + "files";
    t.VolumeId = "MANY";
    mkdisc::WriteDiscImage(dir + "tree\\", t);
    bench::RemoveTree(dir + "tree\\");
    platform::File::Open(dir + "complete", platform::File::Mode::Create);
    return dir + "files.iso";
}

void ForgetMounts(const AnsiString& dir)
{
    for (const platform::DirEntry& e : SortedDirectory(dir))
        platform::UnmountVolume(dir + e.Name);
}

} // namespace

int main(int argc, char** argv)
{
    bool iso = bench::Selected(argc, argv, "install_from_iso_vs_folders"), cue = bench::Selected(argc, argv, "install_from_cue_vs_folders"),
         tar = bench::Selected(argc, argv, "install_from_iso_vs_bsdtar"), find = bench::Selected(argc, argv, "find_disc2_among_20_images"),
         ls = bench::Selected(argc, argv, "discimg_ls_20000_files");
    if (!iso && !cue && !tar && !find && !ls)
        return 0;
    std::string data;
    platform::HostPath(bench::DataDir(), data);
    std::string home = data + "images-home";
    bench::RemoveTree(platform::PathFromHost(home));
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("TARN_MEDIA_DIRS", "", 1);
    ::setenv("TARN_DRIVE_DEVICES", "", 1);
    platform::ForceDirectories(platform::PathFromHost(home));
    ui::App().SetBackend(std::make_unique<ui::NullBackend>());

    if (find) {
        AnsiString dir = TwentyImages();
        double s = bench::MedianSeconds(
            5,
            [&] {
                media::MountDisc(dir + "a first.iso");
                TTarnInstallSet started;
                started.LoadFromFile(dir + "a first.iso\\install.dat");
                auto found = DiscFinder(dir + "a first.iso", {}, started).Find(1);
                if (!found || found->Dir != dir + "z second.iso\\") {
                    std::fprintf(stderr, "disc 2 was not found\n");
                    std::exit(1);
                }
            },
            [&] { ForgetMounts(dir); });
        bench::Report("find_disc2_among_20_images", s * 1000, "ms", "<=", 200);
    }

    if (ls) {
        AnsiString image = TwentyThousandFiles();
        std::string discimg = Host(ExtractFilePath(platform::ModuleFileName()) + "discimg");
        auto r = platform::RunProcess(discimg, { "ls", Host(image) });
        size_t lines = static_cast<size_t>(std::count(r.Out.begin(), r.Out.end(), '\n'));
        if (r.ExitCode != 0 || lines != 20040) {
            std::fprintf(stderr, "discimg ls gave %zu lines: %s\n", lines, r.Err.c_str());
            return 1;
        }
        double s = bench::MedianCommandSeconds(5, discimg, { "ls", Host(image) });
        bench::Report("discimg_ls_20000_files", s * 1000, "ms", "<=", 150);
    }

    if (!iso && !cue && !tar)
        return 0;
    AnsiString root = bench::DiscSet(), dest = root + "dest\\";
    auto clear = [&] {
        bench::RemoveTree(dest);
        bench::Sync();
    };
    // Both sides in turns, so that both see the same state of the disk; the
    // first round warms the cache.
    auto inTurns = [&](const std::vector<std::function<void()>>& sides) {
        std::vector<std::vector<double>> times(sides.size());
        for (int round = 0; round < 6; ++round)
            for (size_t k = 0; k < sides.size(); ++k) {
                clear();
                Clock::time_point start = Clock::now();
                sides[k]();
                if (round > 0)
                    times[k].push_back(std::chrono::duration<double>(Clock::now() - start).count());
            }
        std::vector<double> medians;
        for (auto& t : times) {
            std::sort(t.begin(), t.end());
            medians.push_back(t[t.size() / 2]);
        }
        return medians;
    };
    auto fromFolders = [&] { bench::InstallThroughWizard(root + "disc1\\", dest); };
    if (iso || tar) {
        AnsiString images = Images(root, mkdisc::ImageFormat::Iso);
        media::MountDisc(images + "disc1.iso");
        auto fromIso = [&] { bench::InstallThroughWizard(images + "disc1.iso\\", dest); };
        if (iso) {
            auto m = inTurns({ fromIso, fromFolders });
            bench::Note("two discs: from .iso images " + std::to_string(m[0]) + " s, from folders " + std::to_string(m[1]) + " s");
            bench::Report("install_from_iso_vs_folders", m[0] / m[1], "x", "<=", 1.10);
        }
        if (tar) {
            AnsiString unpacked = root + "bsdtar\\";
            auto viaBsdtar = [&] {
                bench::RemoveTree(unpacked);
                for (int d = 1; d <= 2; ++d) {
                    AnsiString to = unpacked + "disc" + std::to_string(d);
                    platform::ForceDirectories(to);
                    auto r = platform::RunProcess(platform::PathFromHost("/usr/bin/bsdtar"),
                                                  { "-xf", Host(images + "disc" + std::to_string(d) + ".iso"), "-C", Host(to) });
                    if (r.ExitCode != 0) {
                        std::fprintf(stderr, "bsdtar: %s\n", r.Err.c_str());
                        std::exit(1);
                    }
                }
                bench::InstallThroughWizard(unpacked + "disc1\\", dest);
            };
            auto m = inTurns({ fromIso, viaBsdtar });
            bench::Note("two discs: from .iso images " + std::to_string(m[0]) + " s, bsdtar -xf of both and the install from there " +
                        std::to_string(m[1]) + " s");
            bench::Report("install_from_iso_vs_bsdtar", m[0] / m[1], "x", "<=", 0.6);
            bench::RemoveTree(unpacked);
        }
    }
    if (cue) {
        AnsiString images = Images(root, mkdisc::ImageFormat::Cue);
        media::MountDisc(images + "disc1.cue");
        auto fromCue = [&] { bench::InstallThroughWizard(images + "disc1.cue\\", dest); };
        auto m = inTurns({ fromCue, fromFolders });
        bench::Note("two discs: from MODE1/2352 .bin/.cue " + std::to_string(m[0]) + " s, from folders " + std::to_string(m[1]) + " s");
        bench::Report("install_from_cue_vs_folders", m[0] / m[1], "x", "<=", 1.25);
    }
    clear();
    return 0;
}
