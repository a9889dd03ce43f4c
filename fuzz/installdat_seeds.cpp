#include "base/codepage.h"
#include "fuzz_support.h"
#include "platform/platform.h"
#include "setup/install_set.h"

namespace tarn::fuzz {

void WriteSeeds(const AnsiString& dir)
{
    platform::ForceDirectories(dir);
    TTarnInstallSet d;
    d.SaveToFile(dir + "empty.dat");

    d.Title = Sjis(u8"ゲームソフト");
    d.FooterText = Sjis(u8"(c) スタジオ");
    d.DefaultDir = "<ProgramFiles>\\Studio\\Game\\";
    d.ReadmeFile = "readme.txt";
    d.OpenReadme = 1;
    d.TitleImage = "title.gal";
    d.ImageLayout = 1;
    d.GameExe = "game.exe";
    d.ImageSeed = 0x12345678;
    d.SetupButtons = 1;
    d.MediaName = "CD-ROM";
    d.RegistryKey = "Studio\\Game";
    d.SetDiscCount(2);
    for (int i = 0; i < 2; ++i) {
        d.ProgramSizes()[i] = 1000000 * (i + 1);
        d.DataSizes()[i] = 50000000;
        d.SoundSizes()[i] = 20000000 + i;
        d.MovieSizes()[i] = i ? 300000000 : 0;
    }
    d.ProgramTotal = 3000000;
    d.DataTotal = 100000000;
    d.SoundTotal = 40000001;
    d.MovieTotal = 300000000;
    d.SaveToFile(dir + "two_discs.dat");

    d.DiscIndex = 1;
    d.Installed = 1;
    d.Reserved = 0xA5;
    d.SaveToFile(dir + "installed.dat");

    d.SetDiscCount(0);
    d.Title = "\x81\xff";
    d.SaveToFile(dir + "no_discs.dat");
}

} // namespace tarn::fuzz
