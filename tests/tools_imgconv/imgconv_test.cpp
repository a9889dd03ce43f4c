// The imgconv tool, run as a program on files in a temporary directory.
#include "common/tool_json.h"
#include "graphics/bmp_file.h"
#include "graphics/image_files.h"
#include "graphics/png_file.h"
#include "graphics_files/file_builders.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using namespace tarn::test;

namespace {

platform::ProcessResult Imgconv(const std::vector<std::string>& args) { return platform::RunProcess(ProgramPath("imgconv"), args); }

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }

tools::Json InfoOf(const std::vector<std::string>& args)
{
    std::vector<std::string> all { "--info", "--json" };
    all.insert(all.end(), args.begin(), args.end());
    auto r = Imgconv(all);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return r.ExitCode == 0 ? tools::Json::parse(r.Out) : tools::Json::object();
}

TDIBSurface& Decoded(const std::string& bytes)
{
    static TDIBSurface s;
    DecodeBitmap(bytes, s);
    return s;
}

TEST(Imgconv, UsageAndExitCodes)
{
    TempDir dir;
    TDIBSurface s;
    s.Resize(2, 2, 24);
    WriteFile(dir / "a.bmp", EncodeBitmap(s));
    std::string in = Host(dir / "a.bmp");
    auto r = Imgconv({ "--help" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("--alpha-source"), std::string::npos);
    r = Imgconv({ "--version" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out.rfind("imgconv ", 0), 0u);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>> {
             {},
             { in },
             { in, "-o", Host(dir / "x.gif") },
             { in, "-o", Host(dir / "x.tga"), "--frobnicate" },
             { in, "-o", Host(dir / "x.tga"), "--key", "1,2" },
             { in, "-o", Host(dir / "x.tga"), "--key", "1,2,256" },
             { in, "-o", Host(dir / "x.tga"), "--key", "1,2,3", "--key-value", "4" },
             { in, "-o", Host(dir / "x.tga"), "--depth", "7" },
             { in, "-o", Host(dir / "x.bmp"), "--rle" },
             { in, "-o", Host(dir / "x.ico"), "--hot-spot", "1,1" },
             { in, "-o", Host(dir / "x.ico"), "--icon-alpha" },
             { in, "-o", Host(dir / "x.tga"), "--mask", Host(dir / "m.png") },
             { in, "-o", Host(dir / "x.tga"), "--json" },
             { "--info", in, "-o", Host(dir / "x.tga") },
             { in, "-o" },
             { in, "-o", Host(dir / "x.tga"), "--depth" },
             { in, "-o", Host(dir / "x.tga"), "--icon", "first" },
             { in, "-o", Host(dir / "x.tga"), "--key-value=-2" },
             { in, in, "-o", Host(dir / "x.tga") },
         }) {
        r = Imgconv(bad);
        EXPECT_EQ(r.ExitCode, 2) << (bad.empty() ? "" : bad.back()) << ": " << r.Err;
    }
    EXPECT_FALSE(platform::FileExists(dir / "x.tga"));
    // A path that starts with a slash is no option (also in the Windows build),
    // and of an option given twice the last value counts.
    r = Imgconv({ "/no-such-dir/a.bmp", "-o", Host(dir / "x.tga") });
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    r = Imgconv({ in, "--output=" + Host(dir / "first.tga"), "-o", Host(dir / "second.tga") });
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_TRUE(platform::FileExists(dir / "second.tga"));
    EXPECT_FALSE(platform::FileExists(dir / "first.tga"));

    // Bad input: exit 1 with the reader's message in UTF-8.
    WriteFile(dir / "cut.tga", TgaHeader({}).substr(0, 10));
    r = Imgconv({ "--info", Host(dir / "cut.tga") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find(reinterpret_cast<const char*>(u8"TGA ファイルが途中で切れています")), std::string::npos) << r.Err;
    r = Imgconv({ Host(dir / "missing.bmp"), "-o", Host(dir / "x.tga") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_FALSE(platform::FileExists(dir / "x.tga"));
}

TEST(Imgconv, InfoDescribesWhatLoaded)
{
    TempDir dir;
    // A run-length 32-bit TGA with a key colour.
    TDIBSurface s;
    s.Resize(3, 2, 32);
    s.FillValue(s.FullRect(), 0x80102030);
    WriteFile(dir / "k.tga", EncodeTga(s, 0x102030, true, nullptr));
    tools::Json j = InfoOf({ Host(dir / "k.tga") });
    EXPECT_EQ(j.dump(), R"({"width":3,"height":2,"bits":32,"file_bits":32,"image_type":10,"key":1056816,"is_run_length":true,)"
                        R"("has_alpha_mask":false,"has_mask":false,"empty":false})");
    j = InfoOf({ Host(dir / "k.tga"), "--keep-alpha" });
    EXPECT_EQ(j.at("bits").get<int64_t>(), 24);
    EXPECT_TRUE(j.at("has_alpha_mask").get<bool>());

    // Other files: no image type, the file's own depth.
    s.Resize(2, 1, 4);
    WriteFile(dir / "p.bmp", EncodeBitmap(s));
    j = InfoOf({ Host(dir / "p.bmp") });
    EXPECT_TRUE(j.at("image_type").is_null());
    EXPECT_EQ(j.at("file_bits").get<int64_t>(), 4);
    EXPECT_EQ(j.at("key").get<int64_t>(), -1);

    // Icons: the chosen image's depth; --icon picks it.
    TDIBSurface a, b;
    a.Resize(2, 2, 8);
    b.Resize(1, 1, 24);
    std::string first = EncodeIcon(a, -1, {}, false, nullptr, false), second = EncodeIcon(b, -1, {}, false, nullptr, false);
    WriteFile(dir / "two.ico", IconFile(1, { first.substr(22), second.substr(22) }, { { 0, 8 }, { 0, 24 } }));
    j = InfoOf({ Host(dir / "two.ico"), "--icon", "1" });
    EXPECT_EQ(j.at("file_bits").get<int64_t>(), 24);
    EXPECT_EQ(j.at("width").get<int64_t>(), 1);
    EXPECT_EQ(j.at("chosen_icon").get<int64_t>(), 1);
    EXPECT_TRUE(j.at("has_mask").get<bool>()); // without --key an icon keeps its mask
    EXPECT_EQ(Imgconv({ "--info", Host(dir / "two.ico"), "--icon", "2" }).ExitCode, 1);
    EXPECT_EQ(Imgconv({ "--info", Host(dir / "k.tga"), "--icon", "1" }).ExitCode, 1);

    // A type the reader does not know loads empty: described, not converted.
    TgaHeaderFields h;
    h.type = 32;
    WriteFile(dir / "e.tga", TgaHeader(h) + "xyz");
    j = InfoOf({ Host(dir / "e.tga") });
    EXPECT_TRUE(j.at("empty").get<bool>());
    EXPECT_EQ(j.at("image_type").get<int64_t>(), 32);
    auto r = Imgconv({ Host(dir / "e.tga"), "-o", Host(dir / "e.bmp") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("empty"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(dir / "e.bmp"));
    r = Imgconv({ "--info", Host(dir / "k.tga") });
    EXPECT_EQ(r.Out, "3 x 2, 32 bits (file 32 bits), TGA image type 10, run-length encoded, key 1056816\n");
}

TEST(Imgconv, BitmapOutputKeepsDepthAndRawValues)
{
    TempDir dir;
    // A 16-bit TGA becomes a 5-6-5 bit-field bitmap with the loaded values.
    TgaHeaderFields h;
    h.width = 2, h.depth = 16;
    WriteFile(dir / "s.tga", TgaHeader(h) + Le16(0xFFFF) + Le16(0x001F));
    auto r = Imgconv({ Host(dir / "s.tga"), "-o", Host(dir / "s.bmp") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    std::string bmp = ReadFile(dir / "s.bmp");
    EXPECT_EQ(ToHex(bmp.substr(28, 6)), "10 00 03 00 00 00");
    EXPECT_EQ(Pixels(Decoded(bmp)), (std::vector<uint32_t> { 0xFFDF, 0x001F }));

    // A plain 32-bit bitmap's fourth byte stays the pixel's fourth byte, through TGA and back.
    std::string b32 = "BM" + Le32(14 + 40 + 4) + Le32(0) + Le32(54) + InfoHeader(1, 1, 32) + Bytes({ 1, 2, 3, 0x44 });
    WriteFile(dir / "q.bmp", b32);
    ASSERT_EQ(Imgconv({ Host(dir / "q.bmp"), "-o", Host(dir / "q.tga") }).ExitCode, 0);
    EXPECT_EQ(ToHex(ReadFile(dir / "q.tga").substr(18, 4)), "01 02 03 44");
    ASSERT_EQ(Imgconv({ Host(dir / "q.tga"), "-o", Host(dir / "q2.bmp") }).ExitCode, 0);
    EXPECT_EQ(ToHex(ReadFile(dir / "q2.bmp").substr(54)), "01 02 03 44");

    // --mask writes the mask as an 8-bit grey bitmap; without one it says so.
    ASSERT_EQ(Imgconv({ Host(dir / "q.tga"), "--keep-alpha", "-o", Host(dir / "q3.bmp"), "--mask", Host(dir / "m.bmp") }).ExitCode, 0);
    std::string mask = ReadFile(dir / "m.bmp");
    EXPECT_EQ(ToHex(mask.substr(28, 2)), "08 00");
    EXPECT_EQ(ToHex(mask.substr(54 + 4 * 0xBB, 4)), "bb bb bb 00");
    EXPECT_EQ(Pixels(Decoded(mask)), (std::vector<uint32_t> { 0xBB })); // 255 - 0x44
    EXPECT_EQ(ToHex(ReadFile(dir / "q3.bmp").substr(28, 2)), "18 00");
    r = Imgconv({ Host(dir / "q.tga"), "-o", Host(dir / "q4.bmp"), "--mask", Host(dir / "m2.bmp") });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Err.find("no mask"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(dir / "m2.bmp"));

    // --depth converts; colour-map entries past a 4-bit picture's colours are 0.
    TDIBSurface s;
    s.Resize(4, 1, 24);
    s.SetPixel(1, 0, 0xFF0000), s.SetPixel(2, 0, 0x00FF00), s.SetPixel(3, 0, 0x0000FF);
    WriteFile(dir / "c.bmp", EncodeBitmap(s));
    ASSERT_EQ(Imgconv({ Host(dir / "c.bmp"), "--depth", "4", "-o", Host(dir / "c4.bmp") }).ExitCode, 0);
    TDIBSurface& c4 = Decoded(ReadFile(dir / "c4.bmp"));
    EXPECT_EQ(c4.BitDepth(), 4);
    EXPECT_EQ(c4.Canvas().Pixel(2, 0), RGBColor(0, 255, 0));
    ASSERT_EQ(Imgconv({ Host(dir / "c4.bmp"), "-o", Host(dir / "c4.tga") }).ExitCode, 0);
    std::string tga = ReadFile(dir / "c4.tga");
    EXPECT_EQ(tga[16], 8);
    EXPECT_EQ(tga.substr(18 + 3 * 16, 3 * 240), std::string(3 * 240, '\0'));
}

TEST(Imgconv, KeysAlphaSourcesIconsAndCursors)
{
    TempDir dir;
    TDIBSurface s;
    s.Resize(2, 1, 24);
    s.SetPixel(0, 0, 0x0A0B0C);
    s.SetPixel(1, 0, 0xC8C8C8);
    WriteFile(dir / "s.bmp", EncodeBitmap(s));
    std::string in = Host(dir / "s.bmp");
    // --key packs the colour at the picture's depth; --key-value is the value itself.
    ASSERT_EQ(Imgconv({ in, "--key", "10,11,12", "-o", Host(dir / "k.tga") }).ExitCode, 0);
    EXPECT_EQ(InfoOf({ Host(dir / "k.tga") }).at("key").get<int64_t>(), 0x0A0B0C);
    ASSERT_EQ(Imgconv({ in, "--key-value", "13158600", "-o", Host(dir / "k2.tga") }).ExitCode, 0);
    EXPECT_EQ(InfoOf({ Host(dir / "k2.tga") }).at("key").get<int64_t>(), 0xC8C8C8);
    // A loaded key is kept, and at 8 bits --key is the nearest palette entry.
    ASSERT_EQ(Imgconv({ Host(dir / "k.tga"), "-o", Host(dir / "k3.tga") }).ExitCode, 0);
    EXPECT_EQ(InfoOf({ Host(dir / "k3.tga") }).at("key").get<int64_t>(), 0x0A0B0C);
    ASSERT_EQ(Imgconv({ in, "--depth", "8", "--key", "200,200,190", "-o", Host(dir / "k8.tga") }).ExitCode, 0);
    tools::Json k8 = InfoOf({ Host(dir / "k8.tga") });
    EXPECT_EQ(k8.at("bits").get<int64_t>(), 8);
    TDIBSurface loaded;
    int32_t key = -1;
    TLoadResults results;
    loaded.LoadFileEx(dir / "k8.tga", key, results);
    EXPECT_EQ(k8.at("key").get<int64_t>(), key);
    EXPECT_EQ(loaded.Pixel(1, 0), static_cast<uint32_t>(key));

    // An alpha source: 32 bits whose fourth bytes are 255 - alpha, and no key.
    TDIBSurface alpha;
    alpha.Resize(2, 1, 8);
    alpha.SetPixel(0, 0, 0x30);
    alpha.SetPixel(1, 0, 0xFF);
    WriteFile(dir / "a.bmp", EncodeBitmap(alpha));
    ASSERT_EQ(Imgconv({ in, "--key", "10,11,12", "--alpha-source", Host(dir / "a.bmp"), "-o", Host(dir / "a.tga") }).ExitCode, 0);
    std::string tga = ReadFile(dir / "a.tga");
    EXPECT_EQ(ToHex(tga.substr(18, 8)), "0c 0b 0a cf c8 c8 c8 00");
    EXPECT_EQ(InfoOf({ Host(dir / "a.tga") }).at("key").get<int64_t>(), -1);
    alpha.Resize(3, 1, 8);
    WriteFile(dir / "a3.bmp", EncodeBitmap(alpha));
    EXPECT_EQ(Imgconv({ in, "--alpha-source", Host(dir / "a3.bmp"), "-o", Host(dir / "x.tga") }).ExitCode, 1);
    EXPECT_EQ(Imgconv({ in, "--alpha-source", in, "-o", Host(dir / "x.tga") }).ExitCode, 1); // not 8 bits

    // A 32-bit icon with the alpha; read back without --key the mask is the alpha.
    ASSERT_EQ(Imgconv({ in, "--alpha-source", Host(dir / "a.bmp"), "--icon-alpha", "-o", Host(dir / "i.ico") }).ExitCode, 0);
    ASSERT_EQ(Imgconv({ Host(dir / "i.ico"), "-o", Host(dir / "i.bmp"), "--mask", Host(dir / "im.bmp") }).ExitCode, 0);
    EXPECT_EQ(Pixels(Decoded(ReadFile(dir / "im.bmp"))), (std::vector<uint32_t> { 0x30, 0xFF }));
    // With --key the transparent pixels of a 24-bit icon take the colour.
    ASSERT_EQ(Imgconv({ in, "--key", "10,11,12", "-o", Host(dir / "t.ico") }).ExitCode, 0);
    ASSERT_EQ(Imgconv({ Host(dir / "t.ico"), "--key", "1,2,3", "-o", Host(dir / "t.bmp") }).ExitCode, 0);
    EXPECT_EQ(Pixels(Decoded(ReadFile(dir / "t.bmp"))), (std::vector<uint32_t> { 0x010203, 0xC8C8C8 }));

    // Cursors: the hot spot given, or the loaded one kept.
    ASSERT_EQ(Imgconv({ in, "--hot-spot", "1,0", "-o", Host(dir / "c.cur") }).ExitCode, 0);
    ASSERT_EQ(Imgconv({ Host(dir / "c.cur"), "-o", Host(dir / "c2.cur") }).ExitCode, 0);
    std::string cur = ReadFile(dir / "c2.cur");
    EXPECT_EQ(ToHex(cur.substr(2, 2) + cur.substr(10, 4)), "02 00 01 00 00 00");
    tools::Json j = InfoOf({ Host(dir / "c2.cur") });
    EXPECT_EQ(j.at("hot_spot").at("x").get<int64_t>(), 1);

    // PNG: a 32-bit picture without a mask is RGB.
    if (PngAvailable()) {
        s.Resize(1, 1, 32);
        WriteFile(dir / "q.bmp", EncodeBitmap(s, false));
        ASSERT_EQ(Imgconv({ Host(dir / "q.bmp"), "-o", Host(dir / "q.png") }).ExitCode, 0);
        EXPECT_EQ(ReadFile(dir / "q.png")[25], 2); // colour type RGB
        EXPECT_EQ(InfoOf({ Host(dir / "q.png") }).at("file_bits").get<int64_t>(), 24);
    } else {
        EXPECT_EQ(Imgconv({ in, "-o", Host(dir / "q.png") }).ExitCode, 1);
    }
}

} // namespace
