// mkdisc: builds a set of distribution discs (files, game.dat, install.dat)
// from a JSON manifest.
#include "base/codepage.h"
#include "common/command_line.h"
#include "common/tool.h"
#include "mkdisc.h"
#include "platform/platform.h"

using namespace tarn;
using namespace tarn::tools;

namespace {

const char kDescription[] =
    "Builds a set of distribution discs DIR/disc1, DIR/disc2, ... from a manifest:\n"
    "\n"
    "  { \"install\": { description fields shared by every disc },\n"
    "    \"title_image\": { \"src\": \"title.png\", \"name\": \"title.gal\", \"seed\": 1234,\n"
    "                     \"version\": 103, \"scramble\": true, \"tile\": [64, 64] },\n"
    "    \"piece_size\": bytes per piece of game.dat (optional),\n"
    "    \"discs\": [ { \"install\": { this disc's own fields },\n"
    "                 \"files\":   [ { \"src\": \"file-or-folder\", \"dest\": \"path\\\\on\\\\disc\" } ],\n"
    "                 \"archive\": [ { \"src\": \"file-or-folder\", \"name\": \"entry\", \"stored\": false } ] } ] }\n"
    "\n"
    "The description fields are instdat's JSON keys. DiscIndex and DiscCount are\n"
    "set for every disc; sizes and totals left out are what an installation copies:\n"
    "the disc's game.dat with its pieces as data, sound and movie files by their\n"
    "extension, every other file as program, except numbered pieces, .dat files\n"
    "and the folders directx\\ and winmedia\\. The title picture (PNG or BMP) goes\n"
    "into every disc's game.dat as a Gale image; its name and seed default to the\n"
    "description's TitleImage and ImageSeed, and fill them in when they are left out.\n"
    "\n"
    "Sources are relative to the manifest's folder; \"${NAME}\" or \"${NAME}/rest\"\n"
    "stands for the PATH given with --define. A folder's files go below dest (or\n"
    "below the entry name as a folder); dest or name ending in \\ is a folder.\n"
    "DIR is replaced only when it is empty or an earlier disc set; the discs are\n"
    "built beside it and moved into place at the end.\n"
    "\n"
    "--image iso writes each disc as an ISO 9660 image with Joliet names,\n"
    "DIR/disc1.iso, ..., instead of a folder; --image cue as raw 2352-byte\n"
    "sectors with their error correction codes, DIR/disc1.bin, and a cue sheet\n"
    "DIR/disc1.cue. The volume of discN is named DISCN. A file of an image holds\n"
    "at most 4 GiB - 1 bytes, a name at most 103 characters.";

} // namespace

int main(int argc, char** argv)
{
    return RunTool("mkdisc", argc, argv, [](std::vector<std::string>& args) {
        std::vector<std::string> defineTexts;
        std::string manifest, output, image;
        CLI::App app(kDescription, "mkdisc");
        SetUpCommandLine(app, { "mkdisc MANIFEST.json -o DIR [--define NAME=PATH]... [--image iso|cue]" }, "mkdisc " TARN_VERSION);
        AddPositional(app, "MANIFEST.json", manifest, "the manifest");
        CLI::Option* outputOption = app.add_option("-o,--output", output, "where the discs go")->type_name("DIR");
        app.add_option("-D,--define", defineTexts, "a path for ${NAME} in the manifest's sources")
            ->type_name("NAME=PATH")
            ->allow_extra_args(false);
        app.add_option("--image", image, "each disc as an image: iso (disc1.iso) or cue (disc1.bin, disc1.cue)")
            ->type_name("iso|cue")
            ->check(CLI::IsMember({ "iso", "cue" }));
        if (!ParseCommandLine(app, args))
            return 0;

        mkdisc::Defines defines;
        for (const std::string& text : defineTexts) {
            size_t eq = text.find('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError("--define takes NAME=PATH: " + text);
            defines[text.substr(0, eq)] = text.substr(eq + 1);
        }
        if (manifest.empty())
            throw UsageError("no manifest given");
        if (outputOption->count() == 0 || output.empty())
            throw UsageError("no output directory given (-o DIR)");
        mkdisc::Manifest m = mkdisc::ReadManifest(PathArg(manifest), manifest, defines);
        mkdisc::ImageFormat format = image == "iso"   ? mkdisc::ImageFormat::Iso
                                     : image == "cue" ? mkdisc::ImageFormat::Cue
                                                      : mkdisc::ImageFormat::None;
        for (const mkdisc::DiscReport& r : mkdisc::BuildDiscSet(m, PathArg(output), format))
            Out(platform::DisplayPath(r.Dir) + ": " + std::to_string(r.Files) + " files, " + std::to_string(r.Entries) +
                " archive entries; program " + std::to_string(r.Program) + ", data " + std::to_string(r.Data) + ", sound " +
                std::to_string(r.Sound) + ", movie " + std::to_string(r.Movie) + " bytes\n");
        return 0;
    });
}
