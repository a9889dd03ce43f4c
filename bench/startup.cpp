// Time from the start of tarn-setup to the first paint of the launcher menu
// (Qt offscreen and console), the same for the disc chooser of a start
// without a disc (20 images and 3 mounted discs to look at), and the title
// image drawing of a full-HD picture.
#include <sys/stat.h>

#include <cstdlib>
#include <random>

#include "app/title_image.h"
#include "archive/vr_writer.h"
#include "base/codepage.h"
#include "base/path.h"
#include "bench_discs.h"
#include "bench_util.h"
#include "graphics/gale_writer.h"
#include "iso_image.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "ui/form.h"

using namespace tarn;

namespace {

std::string TitleGale(int w, int h, int32_t seed)
{
    TDIBSurface picture;
    picture.Resize(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.SetPixel(x, y, static_cast<uint32_t>((x * 7) ^ (y * 13) ^ (x * y)));
    TGaleWriterOptions options;
    options.Version = 103;
    options.Seed = seed;
    options.Scramble = true;
    return WriteGale({ TGaleWriterFrame::OfSurface(picture) }, options);
}

// A disc with a 265 x 230 title picture (the menu's size) and a full-HD one.
AnsiString MakeDisc()
{
    AnsiString dir = bench::DataDir() + "startup-disc\\";
    platform::ForceDirectories(dir);
    TTarnInstallSet set;
    set.Title = Sjis(u8"計測用ゲーム");
    set.TitleImage = "title.gal";
    set.SetDiscCount(1);
    set.GameExe = "game.exe";
    set.ImageSeed = 77;
    set.SaveToFile(dir + "install.dat");
    TVrNewEntry small{ "title.gal", "", TitleGale(265, 230, 77) };
    TVrNewEntry large{ "hd.gal", "", TitleGale(1920, 1080, 77) };
    WriteVrArchive(dir + "game.dat", { small, large });
    return dir;
}

// The program away from any disc (chooser\prog\), 20 images of discs beside
// its folder and 3 discs among the media (folders, as a system mounts them).
// Returns the program's path.
AnsiString MakeChooserPlaces(AnsiString& media)
{
    AnsiString dir = bench::DataDir() + "chooser\\";
    media = bench::DataDir() + "chooser-media\\";
    if (!platform::FileExists(dir + "complete")) {
        bench::RemoveTree(dir);
        bench::RemoveTree(media);
        std::mt19937 rng(5);
        auto describe = [](const AnsiString& disc, int i, int index, int count) {
            platform::ForceDirectories(disc);
            TTarnInstallSet set;
            set.Title = Sjis(u8"計測用ゲーム") + std::to_string(i);
            set.SetDiscCount(count);
            set.DiscIndex = index;
            set.GameExe = "game.exe";
            set.MediaName = "CD-ROM";
            set.SaveToFile(disc + "install.dat");
        };
        for (int i = 0; i < 20; ++i) {
            AnsiString disc = dir + "work\\";
            bench::RemoveTree(disc);
            describe(disc, i / 2, i % 2, 2);
            for (int f = 0; f < 50; ++f)
                bench::WriteBytes(disc + "data\\f" + std::to_string(f) + ".bin", bench::Bytes(16u << 10, rng));
            mkdisc::ImageTarget t;
            t.Base = dir + "disc " + std::to_string(100 + i).substr(1);
            t.VolumeId = "DISC";
            mkdisc::WriteDiscImage(disc, t);
        }
        bench::RemoveTree(dir + "work\\");
        for (int m = 0; m < 3; ++m)
            describe(media + "MEDIUM" + std::to_string(m) + "\\", 20 + m, 0, 1);
        platform::ForceDirectories(dir + "prog");
        platform::File::Open(dir + "complete", platform::File::Mode::Create);
    }
    AnsiString program = dir + "prog\\tarn-setup";
    platform::CopyFileWithAttributes(ExtractFilePath(platform::ModuleFileName()) + "tarn-setup", program);
    std::string host;
    platform::HostPath(program, host);
    ::chmod(host.c_str(), 0755);
    return program;
}

} // namespace

int main(int argc, char** argv)
{
    AnsiString disc = MakeDisc();
    AnsiString program = ExtractFilePath(platform::ModuleFileName()) + "tarn-setup";
    std::vector<std::string> args = { "--exit-at-first-paint", "--source", platform::DisplayPath(disc) };
    if (bench::Selected(argc, argv, "startup_first_paint_qt")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::vector<std::string> a = args;
        a.insert(a.begin(), "--ui=qt");
        double t = bench::MedianSeconds(5, [&] { platform::RunProcess(program, a); });
        bench::Report("startup_first_paint_qt", t * 1000, "ms", "<=", 300);
    }
    if (bench::Selected(argc, argv, "startup_first_paint_console")) {
        std::vector<std::string> a = args;
        a.insert(a.begin(), "--ui=console");
        double t = bench::MedianSeconds(5, [&] { platform::RunProcess(program, a); });
        bench::Report("startup_first_paint_console", t * 1000, "ms", "<=", 300);
    }
    bool chooserQt = bench::Selected(argc, argv, "chooser_first_paint_qt"),
         chooserConsole = bench::Selected(argc, argv, "chooser_first_paint_console");
    if (chooserQt || chooserConsole) {
        AnsiString media;
        AnsiString chooser = MakeChooserPlaces(media);
        std::string mediaHost;
        platform::HostPath(media, mediaHost);
        ::setenv("TARN_MEDIA_DIRS", mediaHost.c_str(), 1);
        ::setenv("TARN_DRIVE_DEVICES", "", 1);
        platform::ChangeDirectory(ExcludeTrailingBackslash(ExtractFilePath(chooser)));
        // The window measured must be the chooser with every disc in it.
        auto listed = platform::RunProcess(chooser, { "--ui=console" });
        if (listed.Out.find("  > 1. ") == std::string::npos || listed.Out.find("    23. ") == std::string::npos ||
            listed.Out.find("    24. ") != std::string::npos) {
            std::fprintf(stderr, "the chooser does not list the 23 discs:\n%s%s", listed.Out.c_str(), listed.Err.c_str());
            return 1;
        }
        if (chooserQt) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            double t = bench::MedianSeconds(5, [&] { platform::RunProcess(chooser, { "--ui=qt", "--exit-at-first-paint" }); });
            bench::Report("chooser_first_paint_qt", t * 1000, "ms", "<=", 300);
        }
        if (chooserConsole) {
            double t = bench::MedianSeconds(5, [&] { platform::RunProcess(chooser, { "--ui=console", "--exit-at-first-paint" }); });
            bench::Report("chooser_first_paint_console", t * 1000, "ms", "<=", 300);
        }
    }
    if (bench::Selected(argc, argv, "drawtitleimage_1920x1080")) {
        TTarnInstallSet set;
        set.LoadFromFile(disc + "install.dat");
        set.TitleImage = "hd.gal";
        TVrFileCollection archive;
        archive.Open(disc + "game.dat");
        double load = bench::MedianSeconds(5, [&] {
            TMemoryStream m;
            archive.LoadEntry(m, "hd.gal");
        });
        bench::Note("of which LoadEntry of the 1920 x 1080 entry: " + std::to_string(load * 1000) + " ms");
        double total = 0;
        for (int layout : { 0, 1, 2 }) {
            set.ImageLayout = static_cast<uint8_t>(layout);
            ui::Form form("Bench");
            ui::PaintBox& box = form.Add<ui::PaintBox>("PaintBox");
            box.SetBounds(0, 0, 600, 400);
            double t = bench::MedianSeconds(5, [&] { DrawTitleImage(box, set, archive); });
            bench::Note("DrawTitleImage, layout " + std::to_string(layout) + ": " + std::to_string(t * 1000) + " ms");
            total = layout == 0 ? t : total;
        }
        // No peer: a budget of half the time the menu may take to appear.
        bench::Report("drawtitleimage_1920x1080", total * 1000, "ms", "<=", 150);
    }
    return 0;
}
