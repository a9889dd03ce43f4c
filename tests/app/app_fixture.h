// Discs for the start-up tests: install.dat from the description writer and
// game.dat from the archive writer, holding a Gale title image whose pixel
// values say where they come from.
#pragma once

#include <string>

#include "archive/vr_writer.h"
#include "graphics/gale_writer.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "setup/program_state.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/null_backend.h"

namespace tarn::test {

// The title picture's pixel at (x, y): its coordinates in the low bytes.
inline uint32_t TitlePixel(int x, int y) { return static_cast<uint32_t>((x & 0xFF) | (y & 0xFF) << 8 | 0x400000); }

inline std::string TitleGale(int width, int height, int32_t seed)
{
    TDIBSurface picture;
    picture.Resize(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.SetPixel(x, y, TitlePixel(x, y));
    TGaleWriterOptions options;
    options.Version = 102; // rows permuted by the seed
    options.Seed = seed;
    return WriteGale({ TGaleWriterFrame::OfSurface(picture) }, options);
}

struct DiscSpec {
    AnsiString Title = S(u8"サンプルゲーム");
    int32_t DiscIndex = 0, DiscCount = 1;
    uint8_t Installed = 0;
    uint8_t SetupButtons = 1;
    uint8_t ImageLayout = 0;
    AnsiString TitleImage = "title.gal";
    int ImageWidth = 100, ImageHeight = 80;
    int32_t ImageSeed = 4321;
    AnsiString RegistryKey;
    bool WriteArchive = true;
};

// Writes install.dat (and game.dat) into dir.
inline void MakeDisc(const AnsiString& dir, const DiscSpec& discSpec)
{
    TTarnInstallSet set;
    set.DiscIndex = discSpec.DiscIndex;
    set.Title = discSpec.Title;
    set.FooterText = S(u8"(C) スタジオ");
    set.DefaultDir = "<ProgramFiles>\\Studio\\Game";
    set.TitleImage = discSpec.TitleImage;
    set.ImageLayout = discSpec.ImageLayout;
    set.SetDiscCount(discSpec.DiscCount);
    set.GameExe = "game.exe";
    set.ImageSeed = discSpec.ImageSeed;
    set.SetupButtons = discSpec.SetupButtons;
    set.MediaName = "CD-ROM";
    set.RegistryKey = discSpec.RegistryKey;
    set.Installed = discSpec.Installed;
    set.SaveToFile(dir + "install.dat");
    if (discSpec.WriteArchive) {
        TVrNewEntry image;
        image.Name = "title.gal";
        image.Data = TitleGale(discSpec.ImageWidth, discSpec.ImageHeight, discSpec.ImageSeed);
        TVrNewEntry other;
        other.Name = "scenario\\start.txt";
        other.Data = "hello";
        WriteVrArchive(dir + "game.dat", { image, other });
    }
}

// The state start-up hands to the windows for the disc in dir.
inline void LoadDiscState(TProgramState& state, const AnsiString& dir)
{
    state.ProgramDir = state.SourceDir = dir;
    state.InstallSet.LoadFromFile(dir + "install.dat");
    state.GameArchive = std::make_unique<TVrFileCollection>();
    state.GameArchive->Open(dir + "game.dat");
}

// Every test gets a fresh null backend.
inline ui::NullBackend& FreshNullBackend()
{
    auto b = std::make_unique<ui::NullBackend>();
    ui::NullBackend& ref = *b;
    ui::App().SetBackend(std::move(b));
    return ref;
}

} // namespace tarn::test
