// Descriptions as instdat show --json writes them, the sample disc set's
// manifest, manifests that use every key over the target's source tree, and
// a few texts the JSON reader must refuse.
#include <string>

#include "base/codepage.h"
#include "common/install_json.h"
#include "common/tool_json.h"
#include "fuzz_support.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "setup/install_set.h"

namespace tarn::fuzz {

namespace {

using tools::Json;

TTarnInstallSet TwoDiscs()
{
    TTarnInstallSet d;
    d.Title = Sjis(u8"ゲームソフト");
    d.FooterText = "\x81\x40\xff"; // no CP932 text: written as hex
    d.DefaultDir = "<ProgramFiles>\\Studio\\Game\\";
    d.ReadmeFile = "readme.txt";
    d.OpenReadme = 1;
    d.TitleImage = "title.gal";
    d.ImageLayout = 2;
    d.GameExe = "game.exe";
    d.ImageSeed = INT32_MIN;
    d.SetupButtons = 1;
    d.Reserved = 0xA5;
    d.MediaName = "CD-ROM";
    d.RegistryKey = "Studio\\Game";
    d.SetDiscCount(2);
    for (int i = 0; i < 2; ++i) {
        d.ProgramSizes()[i] = 1000000 * (i + 1);
        d.DataSizes()[i] = 50000000;
        d.SoundSizes()[i] = 20000000 + i;
        d.MovieSizes()[i] = i ? 300000000 : -1;
    }
    d.ProgramTotal = 3000000;
    d.DataTotal = 100000000;
    d.SoundTotal = 40000001;
    d.MovieTotal = INT32_MAX;
    return d;
}

void SaveJson(const AnsiString& dir, const std::string& name, const Json& value) { SaveSeed(dir, name, tools::DumpJson(value, 2)); }

} // namespace

void WriteSeeds(const AnsiString& dir)
{
    platform::ForceDirectories(dir);
    SaveJson(dir, "description_empty.json", tools::InstallSetToJson(TTarnInstallSet()));
    TTarnInstallSet d = TwoDiscs();
    SaveJson(dir, "description_two_discs.json", tools::InstallSetToJson(d));
    d.DiscIndex = 1;
    d.Installed = 1;
    d.GameExe = "\x83\x5c"; // a character whose second byte is a backslash
    SaveSeed(dir, "description_installed.json", tools::DumpJson(tools::InstallSetToJson(d)));

    std::vector<uint8_t> sample = ReadWholeFile(platform::PathFromHost(TARN_SOURCE_DIR "/examples/sample/manifest.json"));
    SaveSeed(dir, "manifest_sample.json", std::string(sample.begin(), sample.end()));

    // Every key of a manifest, the description's fields partly shared and
    // partly a disc's own.
    Json shared = tools::InstallSetToJson(TwoDiscs());
    shared.erase("DiscIndex");
    shared.erase("DiscCount");
    shared.erase("ImageSeed");
    Json full = {
        { "install", shared },
        { "title_image", { { "src", "${title}" }, { "seed", 1234 }, { "version", 103 }, { "scramble", true }, { "tile", { 64, 64 } } } },
        { "piece_size", 4096 },
        { "discs",
          { { { "install", { { "MediaName", "DVD" }, { "ProgramSizes", { 7, 8 } } } },
              { "files",
                { { { "src", "disc1" } },
                  { { "src", "${game}" }, { "dest", "game.exe" } },
                  { { "src", "setup/dxsetup.txt" }, { "dest", "directx\\dxsetup.exe" } },
                  { { "src", "setup/mp71.txt" }, { "dest", "winmedia/" } } } },
              { "archive",
                { { { "src", "${data}/disc1/scenario" }, { "name", "scenario\\" } },
                  { { "src", "data/disc1/graphics/c.bmp" }, { "name", "graphics\\" }, { "stored", true } } } } },
            { { "install", { { "DiscIndex", 1 }, { "Title", { { "hex", "835c" } } } } },
              { "files", { { { "src", "disc2" }, { "dest", Cp932ToUtf8Lossy(Sjis(u8"ソフト\\")) } } } },
              { "archive", { { { "src", "data/disc2" } } } } } } },
    };
    SaveJson(dir, "manifest_full.json", full);
    Json one = { { "install", { { "TitleImage", "title.gal" }, { "DiscIndex", 0 }, { "DiscCount", 1 } } },
                 { "title_image", { { "src", "title.bmp" } } },
                 { "discs", { { { "files", { { { "src", "game.exe" } } } } } } } };
    SaveJson(dir, "manifest_one_disc.json", one);

    // Refused: nesting beyond the limit, a key given twice, a number no int64_t holds.
    SaveSeed(dir, "deep.json", std::string(300, '[') + std::string(300, ']'));
    SaveSeed(dir, "duplicate_key.json", "{\"discs\": [{}], \"discs\": [{}]}");
    SaveSeed(dir, "big_number.json", "{\"DiscIndex\": 18446744073709551616, \"piece_size\": 1e400}");
}

} // namespace tarn::fuzz
