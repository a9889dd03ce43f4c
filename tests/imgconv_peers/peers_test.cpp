// Interoperability with two independent image programs: ImageMagick and
// Pillow read what imgconv writes with the same pixels as the project, and
// the project reads what they write with the pixels they decode themselves.
//
// "The same pixels": equal RGB at 24 and 32 bits and through palettes; at 16
// bits equal at 5-bit precision (the programs widen 5-bit channels
// differently); alpha through the engine's TGA convention, where the fourth
// byte is transparency (mask = 255 - byte), so a TGA peer's alpha is the
// inverse of the project's mask; icon alpha is plain opacity; where a peer
// drops alpha (32-bit plain bitmaps, Pillow's cursors), RGB only.
#include <map>
#include <random>

#include "base/codepage.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"
#include "graphics/png_file.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;

namespace {

constexpr int32_t W = 37, H = 23;

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }


// ImageMagick under its version-7 name, its Debian binary, or its classic name.
AnsiString ImageMagick()
{
    for (const char* name : { "magick", "convert-im6.q16", "convert" }) {
        AnsiString p = test::ToolPath(name);
        if (!p.empty())
            return p;
    }
    return {};
}

// A Python 3 that has Pillow: Debian's python3-pil belongs to the system's
// interpreter, which need not be the first python3 on PATH.
AnsiString PythonWithPillow()
{
    std::vector<AnsiString> candidates;
    if (platform::FileExists(platform::PathFromHost("/usr/bin/python3")))
        candidates.push_back(platform::PathFromHost("/usr/bin/python3"));
    AnsiString onPath = test::ToolPath("python3");
    if (!onPath.empty())
        candidates.push_back(onPath);
    for (const AnsiString& p : candidates)
        if (platform::RunProcess(p, { "-c", "import PIL.Image" }).ExitCode == 0)
            return p;
    return {};
}

#define REQUIRE_PEER(program, what)                                                                   \
    do {                                                                                              \
        if ((program).empty()) {                                                                      \
            if (test::UnderCI())                                                                      \
                FAIL() << "required peer not found under CI: " << (what);                            \
            GTEST_SKIP() << "peer not found: " << (what);                                             \
        }                                                                                             \
    } while (0)

const char* const PillowScript = R"(
import sys
from PIL import Image
command = sys.argv[1]
if command == 'dump':
    # Each picture as RGBA bytes beside it, after a line with its mode.
    for path in sys.argv[2:]:
        im = Image.open(path)
        im.load()
        with open(path + '.pil', 'wb') as out:
            out.write(im.mode.encode() + b'\n' + im.convert('RGBA').tobytes())
elif command == 'write':
    source, out = sys.argv[2], sys.argv[3]
    rgba = Image.open(source).convert('RGBA')
    rgb = rgba.convert('RGB')
    rgb.save(out + 'p24.tga', orientation=-1)
    rgb.save(out + 'p24r_tl.tga', compression='tga_rle', orientation=1)
    rgba.save(out + 'p32.tga', orientation=-1)
    rgba.save(out + 'p32r_tl.tga', compression='tga_rle', orientation=1)
    rgb.convert('P').save(out + 'p8.tga', orientation=-1)
    rgb.convert('P').save(out + 'p8r_tl.tga', compression='tga_rle', orientation=1)
    rgb.convert('L').save(out + 'pg.tga', orientation=1)
    rgb.convert('L').save(out + 'pgr.tga', compression='tga_rle', orientation=-1)
    rgba.save(out + 'p.ico', sizes=[rgba.size], bitmap_format='bmp')
    rgb.save(out + 'p24.bmp')
    rgb.convert('P').save(out + 'p8.bmp')
    rgb.convert('L').save(out + 'pg.bmp')
    rgb.convert('1').save(out + 'p1.bmp')
)";

// How two decodings of one file are compared.
enum class Rule {
    Rgba,         // every channel
    InverseAlpha, // RGB, and the peer's alpha is 255 - the project's mask
    Rgb555,       // red, green and blue at 5 bits (16-bit TGA files)
    Rgb565,       // red and blue at 5 bits, green at 6 (16-bit bitmaps)
    Rgb,          // the peer drops the alpha
};

// The project's decoding of a picture as RGBA: colours through the surface's
// canvas, alpha from its mask (255 without one).
std::string OursRgba(TDIBSurface& s)
{
    std::string out;
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x) {
            TColor c = s.Canvas().Pixel(x, y);
            out += static_cast<char>(GetRValue(c));
            out += static_cast<char>(GetGValue(c));
            out += static_cast<char>(GetBValue(c));
            out += static_cast<char>(s.HasMask() ? s.Mask()->Pixel(x, y) : 255);
        }
    return out;
}

// Empty when equal under the rule, else where and how they differ.
std::string Differences(const std::string& ours, const std::string& peer, Rule rule)
{
    if (ours.size() != peer.size())
        return "sizes differ: " + std::to_string(ours.size()) + " and " + std::to_string(peer.size()) + " bytes";
    std::string report;
    int shown = 0, count = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        int a = static_cast<uint8_t>(ours[i]), b = static_cast<uint8_t>(peer[i]);
        bool alpha = i % 4 == 3;
        bool same = true;
        switch (rule) {
        case Rule::Rgba: same = a == b; break;
        case Rule::InverseAlpha: same = alpha ? 255 - a == b : a == b; break;
        case Rule::Rgb555: same = alpha || (a >> 3) == (b >> 3); break;
        case Rule::Rgb565: same = alpha || (i % 4 == 1 ? (a >> 2) == (b >> 2) : (a >> 3) == (b >> 3)); break;
        case Rule::Rgb: same = alpha || a == b; break;
        }
        if (!same && ++count && shown++ < 5)
            report += " pixel " + std::to_string(i / 4 % W) + "," + std::to_string(i / 4 / W) + " channel " + std::to_string(i % 4) + ": " +
                      std::to_string(a) + " vs " + std::to_string(b) + ";";
    }
    return count ? std::to_string(count) + " channel(s) differ:" + report : std::string();
}

// The reference picture: a flat block (long runs), noise (no runs), a
// gradient, and alpha of 0, 255 and values between.
void Reference(TDIBSurface& s)
{
    std::mt19937 rng(11);
    s.Resize(W, H, 24);
    s.NeedMask();
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            uint32_t v = x < 12 ? 0xC81E28 : y < 12 ? rng() & 0xFFFFFF : static_cast<uint32_t>(x * 6) << 16 | static_cast<uint32_t>(y * 10) << 8 | 0x40;
            s.SetPixel(x, y, v);
            static const uint8_t alphas[] = { 255, 255, 0, 128, 17, 255, 254 };
            s.Mask()->SetPixel(x, y, x < 4 ? 255 : alphas[(x + 3 * y) % 7]);
        }
}

std::string GreyBitmap(const TDIBSurface& mask)
{
    TDIBSurface grey;
    grey.AssignSurface(mask);
    for (int i = 0; i < 256; ++i)
        grey.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0 };
    return EncodeBitmap(grey);
}

class Peers : public ::testing::Test {
protected:
    void SetUp() override
    {
        magick = ImageMagick();
        python = PythonWithPillow();
        Reference(reference);
        TDIBSurface rgb;
        rgb.AssignSurface(reference);
        rgb.FreeMask();
        test::WriteFile(dir / "ref.bmp", EncodeBitmap(rgb));
        test::WriteFile(dir / "alpha.bmp", GreyBitmap(*reference.Mask()));
        test::WriteFile(dir / "ref.png", EncodePng(reference));
    }

    // ImageMagick's decoding of the file's first image. ImageMagick 6 keeps a
    // bottom-left TGA's rows in stored order and only records the origin;
    // -auto-orient applies it. (It also writes its own TGA rows top first
    // whatever origin it states, so its bottom-left files appear upside down
    // to every reader that follows the origin, the project and Pillow alike.)
    std::string MagickRgba(const AnsiString& file)
    {
        auto r = platform::RunProcess(magick, { Host(file) + "[0]", "-auto-orient", "-depth", "8", "rgba:" + Host(file + ".im") });
        EXPECT_EQ(r.ExitCode, 0) << Host(file) << ": " << r.Err;
        return r.ExitCode == 0 ? test::ReadFile(file + ".im") : std::string();
    }
    // Pillow's decoding of several files at once: name -> (mode, RGBA).
    std::map<std::string, std::pair<std::string, std::string>> PillowRgba(const std::vector<std::string>& names)
    {
        std::vector<std::string> args { "-c", PillowScript, "dump" };
        for (const std::string& n : names)
            args.push_back(Host(dir / n));
        auto r = platform::RunProcess(python, args);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        std::map<std::string, std::pair<std::string, std::string>> out;
        for (const std::string& n : names) {
            if (!platform::FileExists(dir / (n + ".pil")))
                continue;
            std::string bytes = test::ReadFile(dir / (n + ".pil"));
            size_t line = bytes.find('\n');
            out[n] = { bytes.substr(0, line), bytes.substr(line + 1) };
        }
        return out;
    }
    std::string OursOf(const std::string& name, bool keepAlpha)
    {
        std::string bytes = test::ReadFile(dir / name);
        TDIBSurface s;
        int32_t key = -1;
        TLoadResults r;
        try {
            DecodeImageFile(ImageFileKindOf(name), bytes, s, key, r, keepAlpha, false);
        } catch (const Exception& e) {
            ADD_FAILURE() << "the project cannot read " << name << ": " << Cp932ToUtf8Lossy(e.Message());
            return {};
        }
        return OursRgba(s);
    }
    void Imgconv(const std::vector<std::string>& args)
    {
        auto r = platform::RunProcess(test::ProgramPath("imgconv"), args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
    }

    test::TempDir dir;
    TDIBSurface reference;
    AnsiString magick, python;
};

struct Written {
    std::string name;
    std::vector<std::string> options;
    Rule rule;
    Rule pillowRule; // where Pillow reads less than ImageMagick
};

// What imgconv writes, with the options that make it and how peers compare.
std::vector<Written> ImgconvOutputs()
{
    const std::vector<std::string> alpha { "--alpha-source", "@alpha.bmp" };
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    return {
        { "t8.tga", { "--depth", "8" }, Rule::Rgba, Rule::Rgba },
        { "t8r.tga", { "--depth", "8", "--rle" }, Rule::Rgba, Rule::Rgba },
        { "t4r.tga", { "--depth", "4", "--rle" }, Rule::Rgba, Rule::Rgba },
        { "t16.tga", { "--depth", "16" }, Rule::Rgb555, Rule::Rgb555 },
        { "t16r.tga", { "--depth", "16", "--rle" }, Rule::Rgb555, Rule::Rgb555 },
        { "t24.tga", {}, Rule::Rgba, Rule::Rgba },
        { "t24r.tga", { "--rle" }, Rule::Rgba, Rule::Rgba },
        { "t32.tga", alpha, Rule::InverseAlpha, Rule::InverseAlpha },
        { "t32r.tga", with(alpha, { "--rle" }), Rule::InverseAlpha, Rule::InverseAlpha },
        { "i24.ico", { "--key", "200,30,40" }, Rule::Rgba, Rule::Rgba },
        { "i32.ico", with(alpha, { "--icon-alpha" }), Rule::Rgba, Rule::Rgba },
        { "i8.ico", with(alpha, { "--depth", "8" }), Rule::Rgba, Rule::Rgba },
        { "c24.cur", with(alpha, { "--hot-spot", "3,4" }), Rule::Rgba, Rule::Rgb },
        { "b24.bmp", {}, Rule::Rgba, Rule::Rgba },
        { "b8.bmp", { "--depth", "8" }, Rule::Rgba, Rule::Rgba },
        { "b4.bmp", { "--depth", "4" }, Rule::Rgba, Rule::Rgba },
        { "b1.bmp", { "--depth", "1" }, Rule::Rgba, Rule::Rgba },
        { "b16.bmp", { "--depth", "16" }, Rule::Rgb565, Rule::Rgb565 },
        { "b32.bmp", alpha, Rule::Rgb, Rule::Rgb },
    };
}

TEST_F(Peers, ReadWhatImgconvWrites)
{
    REQUIRE_PEER(magick, "ImageMagick (magick or convert)");
    REQUIRE_PEER(python, "Pillow (python3 with PIL, Debian's python3-pil)");
    std::vector<Written> outputs = ImgconvOutputs();
    std::vector<std::string> names;
    for (const Written& w : outputs) {
        std::vector<std::string> args { Host(dir / "ref.bmp"), "-o", Host(dir / w.name) };
        for (const std::string& o : w.options)
            args.push_back(o[0] == '@' ? Host(dir / o.substr(1)) : o);
        Imgconv(args);
        names.push_back(w.name);
    }
    auto pillow = PillowRgba(names);
    for (const Written& w : outputs) {
        // Icons keep their transparency as a mask; TGA and bitmaps their fourth byte.
        std::string ours = OursOf(w.name, true);
        EXPECT_EQ(Differences(ours, MagickRgba(dir / w.name), w.rule), "") << "ImageMagick reading " << w.name;
        ASSERT_TRUE(pillow.count(w.name)) << "Pillow could not read " << w.name;
        EXPECT_EQ(Differences(ours, pillow[w.name].second, w.pillowRule), "") << "Pillow reading " << w.name;
    }
    // The pictures really carry what they should: the icon's transparency and
    // the TGA's inverted alpha, as the peers see them.
    EXPECT_EQ(pillow["i32.ico"].second[4 * 9 + 3], static_cast<char>(0)); // pixel 9 of row 0 has alpha 0
    EXPECT_EQ(pillow["t32.tga"].second[4 * 9 + 3], static_cast<char>(255));
    EXPECT_EQ(pillow["c24.cur"].first, "RGB");
}

TEST_F(Peers, ReadWhatThePeersWrite)
{
    REQUIRE_PEER(magick, "ImageMagick (magick or convert)");
    REQUIRE_PEER(python, "Pillow (python3 with PIL, Debian's python3-pil)");
    std::string png = Host(dir / "ref.png");
    struct Made {
        std::string name;
        std::vector<std::string> options;
        Rule rule;
    };
    std::vector<Made> magickFiles {
        { "m24.tga", { "-alpha", "off", "-compress", "None" }, Rule::Rgba },
        { "m24r_tl.tga", { "-alpha", "off", "-compress", "RLE", "-orient", "TopLeft" }, Rule::Rgba },
        { "m32.tga", { "-compress", "None" }, Rule::InverseAlpha },
        { "m32r_tl.tga", { "-compress", "RLE", "-orient", "TopLeft" }, Rule::InverseAlpha },
        { "m8.tga", { "-alpha", "off", "-type", "Palette" }, Rule::Rgba },
        { "m8r.tga", { "-alpha", "off", "-type", "Palette", "-compress", "RLE" }, Rule::Rgba },
        { "mg.tga", { "-alpha", "off", "-type", "Grayscale", "-compress", "RLE" }, Rule::Rgba },
        { "m16.tga", { "-alpha", "off", "-depth", "5" }, Rule::Rgb555 },
        { "m16r_tl.tga", { "-alpha", "off", "-depth", "5", "-compress", "RLE", "-orient", "TopLeft" }, Rule::Rgb555 },
        { "m.ico", {}, Rule::Rgba },
        { "m8.ico", { "-alpha", "off", "-type", "Palette" }, Rule::Rgba },
        { "m24.bmp", { "-alpha", "off", "-type", "TrueColor" }, Rule::Rgba },
        // Palette bitmaps without the run-length compression that ImageMagick
        // chooses by default: the bitmap reader refuses compressed bitmaps.
        { "m8.bmp", { "-alpha", "off", "-type", "Palette", "-compress", "None" }, Rule::Rgba },
        { "m32.bmp", { "-type", "TrueColorAlpha" }, Rule::Rgba },
    };
    std::vector<std::string> pillowFiles { "p24.tga", "p24r_tl.tga", "p32.tga", "p32r_tl.tga", "p8.tga", "p8r_tl.tga", "pg.tga",
                                           "pgr.tga", "p.ico",   "p24.bmp",     "p8.bmp",  "pg.bmp",      "p1.bmp" };
    for (const Made& m : magickFiles) {
        std::vector<std::string> args { png };
        args.insert(args.end(), m.options.begin(), m.options.end());
        args.push_back((m.name.find(".bmp") != std::string::npos && m.name != "m32.bmp" ? "BMP3:" : "") + Host(dir / m.name));
        auto r = platform::RunProcess(magick, args);
        ASSERT_EQ(r.ExitCode, 0) << m.name << ": " << r.Err;
    }
    auto r = platform::RunProcess(python, { "-c", PillowScript, "write", png, Host(dir.Path()) + "/" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;

    // The files are what they claim: both origins, run-length or not, every depth.
    auto header = [&](const std::string& name) { return test::ReadFile(dir / name).substr(0, 18); };
    EXPECT_EQ(header("m24r_tl.tga")[2], 10);
    EXPECT_EQ(header("m24r_tl.tga")[17] & 0x20, 0x20);
    EXPECT_EQ(header("m24.tga")[17] & 0x20, 0);
    EXPECT_EQ(header("m16.tga")[16], 16);
    EXPECT_EQ(header("mg.tga")[2], 11);
    EXPECT_EQ(header("p8r_tl.tga")[2], 9);
    EXPECT_EQ(header("p32.tga")[16], 32);

    for (const Made& m : magickFiles) {
        std::string ours = OursOf(m.name, true);
        EXPECT_EQ(Differences(ours, MagickRgba(dir / m.name), m.rule), "") << "project reading ImageMagick's " << m.name;
    }
    auto pillow = PillowRgba(pillowFiles);
    for (const std::string& name : pillowFiles) {
        ASSERT_TRUE(pillow.count(name)) << name;
        Rule rule = name.rfind("p32", 0) == 0 ? Rule::InverseAlpha : Rule::Rgba;
        std::string ours = OursOf(name, true);
        EXPECT_EQ(Differences(ours, pillow[name].second, rule), "") << "project reading Pillow's " << name;
        // The peer's own reading of its picture is also what the reference shows.
        TDIBSurface ref;
        ref.AssignSurface(reference);
        if (name == "p24.tga" || name == "p24.bmp") {
            EXPECT_EQ(Differences(OursRgba(ref), ours, Rule::Rgb), "") << name;
        }
    }
}

} // namespace
