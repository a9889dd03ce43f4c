// imgconv: pictures between TGA, icon, cursor, bitmap and PNG files, through
// the surface's own loading and saving, and their description.
#include <string>
#include <vector>

#include "base/path.h"
#include "common/command_line.h"
#include "common/tool.h"
#include "common/tool_json.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"
#include "platform/file_stream.h"

#ifndef TARN_VERSION
#define TARN_VERSION "0"
#endif

using namespace tarn;
using namespace tarn::tools;

namespace {

const char kDescription[] =
    "IN -o OUT converts between .tga, .ico, .cur, .bmp and .png files; each file's\n"
    "format follows its extension (anything but .tga, .ico, .cur and .png is a\n"
    "bitmap). A .bmp output is the picture at its own depth with its colour table\n"
    "and raw pixel values. --info loads the picture and describes it.";

struct Options {
    std::string in, out, mask, alphaSource;
    bool info = false, json = false, rle = false, keepAlpha = false, iconAlpha = false;
    bool hasKeyColor = false, hasKeyValue = false, hasDepth = false, hasHotSpot = false, hasIcon = false;
    uint8_t keyRed = 0, keyGreen = 0, keyBlue = 0;
    int32_t keyValue = -1, depth = 0, icon = 0;
    TPoint hotSpot {};
};

std::vector<int64_t> ParseList(const std::string& text, const std::string& what, size_t count, int64_t min, int64_t max)
{
    std::vector<int64_t> values;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        values.push_back(ParseInteger(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), what, min, max));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (values.size() != count)
        throw ToolError(what + " takes " + std::to_string(count) + " numbers separated by commas: '" + text + "'");
    return values;
}

// The format of a file name, as the surface chooses it.
TImageFileKind KindOf(const std::string& host) { return ImageFileKindOf(PathArg(host)); }

bool IsIconKind(TImageFileKind k) { return k == TImageFileKind::Icon || k == TImageFileKind::Cursor; }

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Output names must say what they are: a bitmap is only what ends in .bmp.
void CheckOutputName(const std::string& host, const char* what, bool bitmapOnly)
{
    std::string ext = Lower(Utf8Of(ExtractFileExt(PathArg(host))));
    bool ok = ext == ".bmp" || (!bitmapOnly && (ext == ".tga" || ext == ".ico" || ext == ".cur" || ext == ".png"));
    if (!ok)
        throw UsageError(std::string(what) + (bitmapOnly ? " must end in .bmp: " : " must end in .tga, .ico, .cur, .bmp or .png: ") + host);
}

struct Picture {
    TDIBSurface surface;
    int32_t key = -1;
    TLoadResults results;
    TImageFileKind kind = TImageFileKind::Bitmap;
};

void Load(const Options& o, Picture& p)
{
    const std::string& in = o.in;
    p.kind = KindOf(in);
    std::vector<uint8_t> bytes = ReadWholeFile(PathArg(in));
    bool keepAlpha = o.keepAlpha;
    p.key = -1;
    if (IsIconKind(p.kind)) {
        if (o.hasKeyColor)
            p.key = static_cast<int32_t>(RGBColor(o.keyRed, o.keyGreen, o.keyBlue));
        else
            keepAlpha = true; // the icon's transparency stays as its mask
    }
    int32_t wanted = o.icon;
    SetIconChooser([wanted](const TIconChoice& choice) {
        if (wanted >= static_cast<int32_t>(choice.Images.size()))
            throw ToolError("image " + std::to_string(wanted) + " does not exist: the file holds " + std::to_string(choice.Images.size()) +
                            " image(s)");
        return wanted;
    });
    DecodeImageFile(p.kind, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), p.surface, p.key, p.results,
                    keepAlpha, true);
    if (o.hasIcon && p.results.ChosenIcon != o.icon)
        throw ToolError("image " + std::to_string(o.icon) + " does not exist: the file holds one image");
}

int Info(const Options& o)
{
    Picture p;
    Load(o, p);
    const TDIBSurface& s = p.surface;
    bool empty = s.Empty();
    int32_t bits = empty ? 0 : s.EffectiveDepth();
    if (o.json) {
        Json j = { { "width", s.Width() },
                   { "height", s.Height() },
                   { "bits", bits },
                   { "file_bits", p.results.FileBits },
                   { "image_type", p.results.ImageType >= 0 ? Json(p.results.ImageType) : Json(nullptr) },
                   { "key", p.key },
                   { "is_run_length", p.results.IsRunLength },
                   { "has_alpha_mask", p.results.HasAlphaMask },
                   { "has_mask", s.HasMask() },
                   { "empty", empty } };
        if (IsIconKind(p.kind)) {
            j["chosen_icon"] = p.results.ChosenIcon;
            j["hot_spot"] = { { "x", p.results.HotSpot.X }, { "y", p.results.HotSpot.Y } };
        }
        Out(DumpJson(j, 2) + "\n");
        return 0;
    }
    if (empty) {
        Out("empty picture" + (p.results.ImageType >= 0 ? " (TGA image type " + std::to_string(p.results.ImageType) + " is not read)" : std::string()) +
            "\n");
        return 0;
    }
    std::string text = std::to_string(s.Width()) + " x " + std::to_string(s.Height()) + ", " + std::to_string(bits) + " bits (file " +
                       std::to_string(p.results.FileBits) + " bits)";
    if (p.results.ImageType >= 0)
        text += ", TGA image type " + std::to_string(p.results.ImageType);
    if (p.results.IsRunLength)
        text += ", run-length encoded";
    if (p.key >= 0)
        text += ", key " + std::to_string(p.key);
    if (p.results.HasAlphaMask)
        text += ", alpha in the mask";
    else if (s.HasMask())
        text += ", mask";
    if (IsIconKind(p.kind)) {
        text += ", image " + std::to_string(p.results.ChosenIcon);
        if (p.kind == TImageFileKind::Cursor)
            text += ", hot spot " + std::to_string(p.results.HotSpot.X) + "," + std::to_string(p.results.HotSpot.Y);
    }
    Out(text + "\n");
    return 0;
}

std::string GreyBitmapOf(const TDIBSurface& mask)
{
    TDIBSurface grey;
    grey.AssignSurface(mask);
    for (int i = 0; i < 256; ++i)
        grey.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0 };
    return EncodeBitmap(grey);
}

int Convert(const Options& o)
{
    TImageFileKind outKind = KindOf(o.out);
    if (o.rle && outKind != TImageFileKind::Tga)
        throw UsageError("--rle is for .tga output");
    if (o.hasHotSpot && outKind != TImageFileKind::Cursor)
        throw UsageError("--hot-spot is for .cur output");
    if (o.iconAlpha && !IsIconKind(outKind))
        throw UsageError("--icon-alpha is for .ico and .cur output");
    if (o.iconAlpha && o.alphaSource.empty())
        throw UsageError("--icon-alpha takes its alpha from --alpha-source");

    TDIBSurface alpha;
    if (!o.alphaSource.empty()) {
        std::vector<uint8_t> bytes = ReadWholeFile(PathArg(o.alphaSource));
        DecodeBitmap(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), alpha);
        if (alpha.BitDepth() != 8)
            throw ToolError("the alpha source must be an 8-bit bitmap: " + o.alphaSource + " has " + std::to_string(alpha.BitDepth()) + " bits");
    }
    Picture p;
    Load(o, p);
    TDIBSurface& s = p.surface;
    if (s.Empty()) {
        throw ToolError(p.results.ImageType >= 0 ? "the picture is empty: TGA image type " + std::to_string(p.results.ImageType) + " is not read"
                                                 : std::string("the picture is empty"));
    }
    int32_t key = p.key;
    if (o.hasDepth) {
        s.ConvertDepth(o.depth, 0, 1);
        key = -1; // the loaded key named a value of the old depth
    }
    if (o.hasKeyValue) {
        key = o.keyValue;
    } else if (o.hasKeyColor && !(IsIconKind(p.kind) && !o.hasDepth && key >= 0)) {
        // An icon loaded with the key colour already holds its pixel value.
        key = static_cast<int32_t>(s.PackColor(o.keyRed, o.keyGreen, o.keyBlue));
    }
    TPoint hotSpot = o.hasHotSpot ? o.hotSpot : p.results.HotSpot;
    const TDIBSurface* alphaSource = o.alphaSource.empty() ? nullptr : &alpha;
    if (alphaSource)
        CheckAlphaSource(s, *alphaSource);

    std::string picture;
    if (outKind == TImageFileKind::Bitmap)
        picture = alphaSource ? EncodeBitmapAlpha(s, *alphaSource) : EncodeBitmap(s, false);
    else
        picture = EncodeImageFile(outKind, s, key, hotSpot, o.iconAlpha, o.rle, alphaSource);
    std::string mask;
    if (!o.mask.empty() && s.HasMask())
        mask = GreyBitmapOf(*s.Mask());
    WriteFileAtomically(PathArg(o.out), picture);
    if (!mask.empty())
        WriteFileAtomically(PathArg(o.mask), mask);
    else if (!o.mask.empty())
        Err("imgconv: the picture has no mask; " + o.mask + " not written\n");
    return 0;
}

int Run(std::vector<std::string>& args)
{
    Options o;
    CLI::App app(kDescription, "imgconv");
    SetUpCommandLine(app,
                     { "imgconv IN -o OUT [OPTION]...",
                       "imgconv --info IN [--keep-alpha] [--icon K] [--key R,G,B] [--json]" },
                     std::string("imgconv ") + TARN_VERSION);
    AddPositional(app, "IN", o.in, "the input picture");
    app.add_option("-o,--output", o.out, "the output picture")->type_name("OUT");
    app.add_flag("--info", o.info, "describe the picture instead of converting it");
    app.add_flag("--rle", o.rle, "run-length encoded TGA output");
    AddParsedOption(
        app, "--key", "R,G,B",
        [&o](const std::string& t) {
            auto v = ParseList(t, "--key", 3, 0, 255);
            o.keyRed = static_cast<uint8_t>(v[0]), o.keyGreen = static_cast<uint8_t>(v[1]), o.keyBlue = static_cast<uint8_t>(v[2]);
            o.hasKeyColor = true;
        },
        "the colour made transparent when saving (.tga,\n"
        ".ico, .cur): packed at the picture's depth\n"
        "(components taken as 5/6-bit at 15 and 16 bits),\n"
        "the nearest palette entry at 8 bits or fewer.\n"
        "When loading an icon or cursor, the colour that\n"
        "its transparent pixels take; without it the\n"
        "icon's transparency is kept as a mask.");
    AddParsedOption(
        app, "--key-value", "V",
        [&o](const std::string& t) {
            o.keyValue = static_cast<int32_t>(ParseInteger(t, "--key-value", -1, INT32_MAX));
            o.hasKeyValue = true;
        },
        "the transparent pixel value itself (-1 = none).\n"
        "Without --key and --key-value the key read from\n"
        "the input (a TGA's key colour) is kept, unless\n"
        "--depth is given.");
    app.add_option("--alpha-source", o.alphaSource,
                   "an 8-bit bitmap of the picture's size whose pixel\n"
                   "values are the alpha (TGA: a 32-bit file whose\n"
                   "fourth bytes are 255 - alpha, without key; icons:\n"
                   "transparency below 128; bitmaps: a 32-bit file\n"
                   "with the alpha as fourth bytes)")
        ->type_name("MASK.bmp");
    app.add_flag("--keep-alpha", o.keepAlpha,
                 "keep a 32-bit TGA's or bitmap's fourth byte as\n"
                 "the mask");
    AddParsedOption(
        app, "--depth", "N",
        [&o](const std::string& t) {
            o.depth = static_cast<int32_t>(ParseInteger(t, "--depth", 1, 32));
            if (o.depth != 1 && o.depth != 4 && o.depth != 8 && o.depth != 15 && o.depth != 16 && o.depth != 24 && o.depth != 32)
                throw UsageError("--depth must be 1, 4, 8, 15, 16, 24 or 32");
            o.hasDepth = true;
        },
        "convert to 1, 4, 8, 15, 16, 24 or 32 bits\n"
        "(reduced colours are chosen for the picture and\n"
        "dithered)");
    AddParsedOption(
        app, "--icon", "K",
        [&o](const std::string& t) {
            o.icon = static_cast<int32_t>(ParseInteger(t, "--icon", 0, 65535));
            o.hasIcon = true;
        },
        "read image K (from 0) of an icon or cursor file");
    app.add_flag("--icon-alpha", o.iconAlpha, "a 32-bit icon with the alpha of --alpha-source");
    AddParsedOption(
        app, "--hot-spot", "X,Y",
        [&o](const std::string& t) {
            auto v = ParseList(t, "--hot-spot", 2, 0, 65535);
            o.hotSpot = TPoint { static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]) };
            o.hasHotSpot = true;
        },
        "a cursor's hot spot (else a loaded cursor's)");
    app.add_option("--mask", o.mask, "also the picture's mask, as an 8-bit grey bitmap")->type_name("MASK.bmp");
    app.add_flag("--json", o.json, "--info as a JSON object");
    if (!ParseCommandLine(app, args))
        return 0;

    if (o.in.empty())
        throw UsageError("no input file given");
    if (o.hasKeyColor && o.hasKeyValue)
        throw UsageError("--key and --key-value exclude each other");
    if (o.info) {
        if (!o.out.empty() || !o.mask.empty() || !o.alphaSource.empty() || o.rle || o.iconAlpha || o.hasDepth || o.hasHotSpot || o.hasKeyValue)
            throw UsageError("--info takes only --keep-alpha, --icon, --key and --json");
        return Info(o);
    }
    if (o.json)
        throw UsageError("--json goes with --info");
    if (o.out.empty())
        throw UsageError("no output given (-o OUT)");
    CheckOutputName(o.out, "the output", false);
    if (!o.mask.empty())
        CheckOutputName(o.mask, "the mask output", true);
    return Convert(o);
}

} // namespace

int main(int argc, char** argv) { return RunTool("imgconv", argc, argv, Run); }
