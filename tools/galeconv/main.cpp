// galeconv: Gale images to bitmap and PNG files, their description, and
// bitmap or PNG pictures to Gale images.
#include <string>
#include <vector>

#include "base/path.h"
#include "common/command_line.h"
#include "common/tool.h"
#include "common/tool_json.h"
#include "graphics/bmp_file.h"
#include "graphics/gale.h"
#include "graphics/gale_writer.h"
#include "graphics/png_file.h"
#include "platform/file_stream.h"

#ifndef TARN_VERSION
#define TARN_VERSION "0"
#endif

using namespace tarn;
using namespace tarn::tools;

namespace {

const char kDescription[] =
    "IN -o OUT writes frame K (default 0) of the Gale image IN as OUT: .bmp keeps\n"
    "the frame's own depth and raw pixel values, .png is RGB (RGBA with a mask).\n"
    "--info describes the file and its frames. --to-gale writes the picture as a\n"
    "Gale image of one frame and one layer.";

struct Options {
    std::string in, out, mask;
    int32_t seed = 0;
    int64_t frame = 0;
    bool firstOnly = false, info = false, json = false, toGale = false, scramble = false;
    int32_t version = 103;
    bool versionGiven = false;
    int32_t tileW = 0, tileH = 0;
};

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string ExtensionOf(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    return Lower(path.substr(dot));
}

std::string ReadInput(const std::string& host)
{
    std::vector<uint8_t> bytes = ReadWholeFile(PathArg(host));
    return std::string(bytes.begin(), bytes.end());
}

void WriteOutput(const std::string& host, const std::string& bytes) { WriteFileAtomically(PathArg(host), bytes); }

void LoadGale(const Options& o, TGaleFrameList& list, bool firstOnly)
{
    std::string bytes = ReadInput(o.in);
    list.LoadFromBytes(bytes, firstOnly);
}

int Convert(const Options& o)
{
    std::string ext = ExtensionOf(o.out);
    if (ext != ".bmp" && ext != ".png")
        throw UsageError("the output must end in .bmp or .png: " + o.out);
    if (!o.mask.empty() && ExtensionOf(o.mask) != ".bmp")
        throw UsageError("the mask output must end in .bmp: " + o.mask);
    TGaleFrameList list(o.seed);
    LoadGale(o, list, o.firstOnly);
    if (o.frame >= list.Count())
        throw ToolError("frame " + std::to_string(o.frame) + " does not exist: " + std::to_string(list.Count()) + " frame(s) read");
    const TGaleFrame& frame = list.Frames(static_cast<int32_t>(o.frame));
    if (frame.Surface.Empty())
        throw ToolError("frame " + std::to_string(o.frame) + " is empty (" + std::to_string(frame.Surface.Width()) + " x " +
                        std::to_string(frame.Surface.Height()) + ")");
    std::string picture = ext == ".bmp" ? EncodeBitmap(frame.Surface, false) : EncodePng(frame.Surface);
    std::string mask;
    if (!o.mask.empty() && frame.HasMask()) {
        TDIBSurface grey;
        grey.AssignSurface(*frame.Surface.Mask());
        for (int i = 0; i < 256; ++i)
            grey.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0 };
        mask = EncodeBitmap(grey);
    }
    WriteOutput(o.out, picture);
    if (!mask.empty())
        WriteOutput(o.mask, mask);
    else if (!o.mask.empty())
        Err("galeconv: frame " + std::to_string(o.frame) + " has no mask; " + o.mask + " not written\n");
    return 0;
}

int Info(const Options& o)
{
    TGaleFrameList list(o.seed);
    LoadGale(o, list, false);
    if (o.json) {
        Json frames = Json::array();
        for (int32_t i = 0; i < list.Count(); ++i) {
            const TGaleFrame& f = list.Frames(i);
            frames.push_back({ { "width", f.Surface.Width() },
                               { "height", f.Surface.Height() },
                               { "bits", f.Surface.EffectiveDepth() },
                               { "transparent_index", f.TransparentIndex },
                               { "has_mask", f.HasMask() } });
        }
        Json j = { { "version", list.Version },
                   { "format_version", list.FormatVersion },
                   { "frame_count", list.HeaderFrameCount },
                   { "frames", std::move(frames) } };
        Out(DumpJson(j, 2) + "\n");
        return 0;
    }
    std::string text = "version " + std::to_string(list.Version) + ", format version " + std::to_string(list.FormatVersion) + ", " +
                       std::to_string(list.HeaderFrameCount) + " frame(s)";
    if (list.TileWidth > 0 && list.TileHeight > 0 && list.FormatVersion >= 103)
        text += ", tiles " + std::to_string(list.TileWidth) + "x" + std::to_string(list.TileHeight);
    if (list.Scrambled)
        text += ", scrambled";
    Out(text + "\n");
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TGaleFrame& f = list.Frames(i);
        Out("frame " + std::to_string(i) + ": " + std::to_string(f.Surface.Width()) + " x " + std::to_string(f.Surface.Height()) + ", " +
            std::to_string(f.Surface.EffectiveDepth()) + " bits" +
            (f.TransparentIndex >= 0 ? ", transparent index " + std::to_string(f.TransparentIndex) : std::string()) +
            (f.HasMask() ? ", mask" : "") + "\n");
    }
    return 0;
}

int ToGale(const Options& o)
{
    std::string ext = ExtensionOf(o.in);
    if (ext != ".png" && ext != ".bmp")
        throw UsageError("the input must end in .png or .bmp: " + o.in);
    if (o.version != 0 && (o.version < 100 || o.version > 106))
        throw UsageError("--version must be 0 or 100 to 106");
    if ((o.scramble || o.tileW > 0) && o.version < 103)
        throw UsageError("--scramble and --tile need version 103 or later");
    TDIBSurface picture;
    std::string bytes = ReadInput(o.in);
    if (ext == ".png")
        DecodePng(bytes, picture);
    else
        DecodeBitmap(bytes, picture);
    if (picture.HasMask() && o.version < 101)
        throw UsageError("a picture with alpha needs version 101 or later");
    TGaleWriterOptions w;
    w.Version = o.version;
    w.Seed = o.seed;
    w.Scramble = o.scramble;
    w.TileWidth = o.tileW, w.TileHeight = o.tileH;
    std::string gale = WriteGale({ TGaleWriterFrame::OfSurface(picture) }, w);
    WriteOutput(o.out, gale);
    return 0;
}

int Run(std::vector<std::string>& args)
{
    Options o;
    // --version is the file version with --to-gale, else the program's.
    bool toGale = false;
    for (const std::string& a : args)
        toGale = toGale || a == "--to-gale";
    CLI::App app(kDescription, "galeconv");
    SetUpCommandLine(app,
                     { "galeconv IN -o OUT [--seed N] [--frame K] [--first-frame-only]",
                       "         [--mask MASK.bmp]",
                       "galeconv --info IN [--seed N] [--json]",
                       "galeconv --to-gale IN.png|IN.bmp -o OUT.gal [--seed N] [--version V]",
                       "         [--scramble] [--tile WxH]" },
                     toGale ? std::string() : std::string("galeconv ") + TARN_VERSION);
    AddPositional(app, "IN", o.in, "the input file");
    app.add_option("-o,--output", o.out, "the output: .bmp or .png (.gal with --to-gale)")->type_name("OUT");
    AddParsedOption(app, "--seed", "N", [&o](const std::string& v) { o.seed = ParseSeed(v, "--seed"); },
                    "the image seed: any 32-bit value, decimal\n"
                    "(negative or up to 4294967295) or 0x-hexadecimal;\n"
                    "default 0");
    AddIntegerOption(app, "--frame", o.frame, 0, INT32_MAX, "K", "the frame to write (default 0)");
    app.add_flag("--first-frame-only", o.firstOnly, "read only the first frame");
    app.add_option("--mask", o.mask, "also the frame's mask, as an 8-bit grey bitmap")->type_name("MASK.bmp");
    app.add_flag("--info", o.info, "describe the file and its frames");
    app.add_flag("--json", o.json, "--info as a JSON object");
    app.add_flag("--to-gale", o.toGale, "write a .png or .bmp picture as a Gale image");
    if (toGale)
        AddParsedOption(
            app, "--version", "V",
            [&o](const std::string& v) {
                o.version = static_cast<int32_t>(ParseInteger(v, "--version", 0, 999));
                o.versionGiven = true;
            },
            "the file version: 0 (no magic) or 100 to 106,\n"
            "default 103");
    app.add_flag("--scramble", o.scramble, "scramble the pixels (version 103 or later)");
    AddParsedOption(
        app, "--tile", "WxH",
        [&o](const std::string& text) {
            std::string v = Lower(text);
            size_t x = v.find('x');
            if (x == std::string::npos)
                throw UsageError("--tile takes WxH, e.g. 64x64");
            o.tileW = static_cast<int32_t>(ParseInteger(v.substr(0, x), "--tile width", 1, 65535));
            o.tileH = static_cast<int32_t>(ParseInteger(v.substr(x + 1), "--tile height", 1, 65535));
        },
        "tiles of W x H pixels (version 103 or later)");
    if (!toGale)
        app.get_option("--version")->description("the program's version (with --to-gale: the\n"
                                                  "file version V, 0 = no magic or 100 to 106,\n"
                                                  "default 103)");
    if (!ParseCommandLine(app, args))
        return 0;

    if (o.info + o.toGale > 1)
        throw UsageError("--info and --to-gale exclude each other");
    if (o.in.empty())
        throw UsageError("no input file given");
    if (o.info) {
        if (!o.out.empty() || !o.mask.empty() || o.frame || o.firstOnly)
            throw UsageError("--info takes no output options");
        return Info(o);
    }
    if (o.out.empty())
        throw UsageError("no output given (-o OUT)");
    if (o.toGale) {
        if (!o.mask.empty() || o.frame || o.firstOnly || o.json)
            throw UsageError("--to-gale takes no frame or mask options");
        return ToGale(o);
    }
    if (o.json || o.scramble || o.tileW || o.versionGiven)
        throw UsageError("--json, --scramble, --tile and --version V go with --info or --to-gale");
    return Convert(o);
}

} // namespace

int main(int argc, char** argv) { return RunTool("galeconv", argc, argv, Run); }
