// galeconv: Gale images to bitmap and PNG files, their description, and
// bitmap or PNG pictures to Gale images.
#include <string>
#include <vector>

#include "base/path.h"
#include "common/tool.h"
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

const char* const Usage = R"(Usage:
  galeconv IN -o OUT [--seed N] [--frame K] [--first-frame-only] [--mask MASK.bmp]
      Writes frame K (default 0) of the Gale image IN as OUT: .bmp keeps the
      frame's own depth and raw pixel values, .png is RGB (RGBA with a mask).
      --mask also writes the frame's mask as an 8-bit grey bitmap.
  galeconv --info IN [--seed N] [--json]
      Describes the file and its frames.
  galeconv --to-gale IN.png|IN.bmp -o OUT.gal [--seed N] [--version V] [--scramble] [--tile WxH]
      Writes the picture as a Gale image of one frame and one layer
      (version 103 by default; 0 = no magic; --scramble and --tile need 103 or later).

Options:
  --seed N      the image seed: any 32-bit value, decimal (negative or up to
                4294967295) or 0x-hexadecimal; default 0
  --help        this text
  --version     the program's version (with --to-gale: the file version)
Exit status: 0 success, 1 bad input or failed operation, 2 wrong usage.
)";

struct Options {
    std::vector<std::string> positional;
    std::string out, mask;
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
    std::string bytes = ReadInput(o.positional[0]);
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
        Json j = Json::Object();
        j.Set("version", list.Version);
        j.Set("format_version", list.FormatVersion);
        j.Set("frame_count", list.HeaderFrameCount);
        Json frames = Json::Array();
        for (int32_t i = 0; i < list.Count(); ++i) {
            const TGaleFrame& f = list.Frames(i);
            Json fj = Json::Object();
            fj.Set("width", f.Surface.Width());
            fj.Set("height", f.Surface.Height());
            fj.Set("bits", f.Surface.EffectiveDepth());
            fj.Set("transparent_index", f.TransparentIndex);
            fj.Set("has_mask", f.HasMask());
            frames.Push(fj);
        }
        j.Set("frames", frames);
        Out(j.Dump(2) + "\n");
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
    std::string ext = ExtensionOf(o.positional[0]);
    if (ext != ".png" && ext != ".bmp")
        throw UsageError("the input must end in .png or .bmp: " + o.positional[0]);
    if (o.version != 0 && (o.version < 100 || o.version > 106))
        throw UsageError("--version must be 0 or 100 to 106");
    if ((o.scramble || o.tileW > 0) && o.version < 103)
        throw UsageError("--scramble and --tile need version 103 or later");
    TDIBSurface picture;
    std::string bytes = ReadInput(o.positional[0]);
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
    bool toGale = false;
    for (const std::string& a : args)
        toGale = toGale || a == "--to-gale";
    ArgReader reader(args);
    std::string a;
    while (reader.Next(a)) {
        auto next = [&] { return reader.Value(); };
        if (a == "--help" || a == "-h") {
            Out(Usage);
            return 0;
        } else if (a == "--version" && !toGale) {
            Out(std::string("galeconv ") + TARN_VERSION + "\n");
            return 0;
        } else if (a == "--version") {
            o.version = reader.Parsed([](const std::string& v) { return static_cast<int32_t>(ParseInteger(v, "--version", 0, 999)); });
            o.versionGiven = true;
        } else if (a == "-o" || a == "--output") {
            o.out = next();
        } else if (a == "--seed") {
            o.seed = reader.Parsed([](const std::string& v) { return ParseSeed(v, "--seed"); });
        } else if (a == "--frame") {
            o.frame = reader.Parsed([](const std::string& v) { return ParseInteger(v, "--frame", 0, INT32_MAX); });
        } else if (a == "--mask") {
            o.mask = next();
        } else if (a == "--first-frame-only") {
            o.firstOnly = true;
        } else if (a == "--info") {
            o.info = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--to-gale") {
            o.toGale = true;
        } else if (a == "--scramble") {
            o.scramble = true;
        } else if (a == "--tile") {
            std::string v = Lower(next());
            size_t x = v.find('x');
            if (x == std::string::npos)
                throw UsageError("--tile takes WxH, e.g. 64x64");
            try {
                o.tileW = static_cast<int32_t>(ParseInteger(v.substr(0, x), "--tile width", 1, 65535));
                o.tileH = static_cast<int32_t>(ParseInteger(v.substr(x + 1), "--tile height", 1, 65535));
            } catch (const ToolError& e) {
                throw UsageError(e.what());
            }
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option: " + a);
        } else {
            o.positional.push_back(a);
        }
    }
    if (o.info + o.toGale > 1)
        throw UsageError("--info and --to-gale exclude each other");
    if (o.positional.size() != 1)
        throw UsageError(o.positional.empty() ? "no input file given" : "one input file only");
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
