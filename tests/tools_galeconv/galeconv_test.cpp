// The galeconv tool, run as a program on files in a temporary directory.
#include "common/tool_json.h"
#include "graphics/bmp_file.h"
#include "graphics/gale_writer.h"
#include "graphics/png_file.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;

namespace {

platform::ProcessResult Galeconv(const std::vector<std::string>& args)
{
    return platform::RunProcess(test::ProgramPath("galeconv"), args);
}

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }

// Two 3 x 2 frames at 16 bits (5-6-5); the second has a use-alpha mask.
std::string TwoFrames(int32_t seed, int32_t version = 103)
{
    static TDIBSurface a, b;
    a.Resize(3, 2, 16);
    b.Resize(3, 2, 16);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            a.SetPixel(x, y, static_cast<uint32_t>(0x1000 * (y + 1) + x)), b.SetPixel(x, y, static_cast<uint32_t>(0xF800 + x));
    b.NeedMask();
    b.Mask()->FillValue(b.Mask()->FullRect(), 0x80);
    TGaleWriterOptions o;
    o.Version = version;
    o.Seed = seed;
    std::vector<TGaleWriterFrame> frames { TGaleWriterFrame::OfSurface(a), TGaleWriterFrame::OfSurface(b) };
    frames[0].TransparentIndex = 4;
    return WriteGale(frames, o);
}

TEST(Galeconv, WritesBitmapsAtTheFramesDepth)
{
    test::TempDir dir;
    test::WriteFile(dir / "t.gal", TwoFrames(0));
    auto r = Galeconv({ Host(dir / "t.gal"), "-o", Host(dir / "f0.bmp") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    std::string bmp = test::ReadFile(dir / "f0.bmp");
    EXPECT_EQ(test::ToHex(bmp.substr(28, 6)), "10 00 03 00 00 00"); // 16 bits as bit fields
    EXPECT_EQ(test::ToHex(bmp.substr(54, 12)), "00 f8 00 00 e0 07 00 00 1f 00 00 00");
    TDIBSurface s;
    DecodeBitmap(bmp, s);
    EXPECT_EQ(s.EffectiveDepth(), 16);
    EXPECT_EQ(s.Pixel(2, 1), 0x2002u); // raw values unchanged

    // The mask as an 8-bit grey bitmap; a frame without one writes nothing and says so.
    r = Galeconv({ Host(dir / "t.gal"), "--frame", "1", "-o", Host(dir / "f1.bmp"), "--mask", Host(dir / "m1.bmp") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    std::string mask = test::ReadFile(dir / "m1.bmp");
    EXPECT_EQ(test::ToHex(mask.substr(28, 2)), "08 00");
    EXPECT_EQ(test::ToHex(mask.substr(54 + 4 * 0x80, 4)), "80 80 80 00");
    DecodeBitmap(mask, s);
    EXPECT_EQ(s.Pixel(1, 1), 0x80u);
    r = Galeconv({ Host(dir / "t.gal"), "-o", Host(dir / "g.bmp"), "--mask", Host(dir / "m0.bmp") });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Err.find("no mask"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(dir / "m0.bmp"));
    EXPECT_TRUE(platform::FileExists(dir / "g.bmp"));

    // 32 bits: plain, the fourth byte as the surface holds it.
    TDIBSurface q;
    q.Resize(1, 1, 32);
    q.SetPixel(0, 0, 0x00ABCDEF);
    TGaleWriterOptions o;
    test::WriteFile(dir / "q.gal", WriteGale({ TGaleWriterFrame::OfSurface(q) }, o));
    r = Galeconv({ Host(dir / "q.gal"), "-o", Host(dir / "q.bmp") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    bmp = test::ReadFile(dir / "q.bmp");
    EXPECT_EQ(test::ToHex(bmp.substr(28, 6)), "20 00 00 00 00 00");
    EXPECT_EQ(test::ToHex(bmp.substr(54)), "ef cd ab 00");
}

TEST(Galeconv, PngOutput)
{
    test::TempDir dir;
    test::WriteFile(dir / "t.gal", TwoFrames(0));
    auto r = Galeconv({ Host(dir / "t.gal"), "--frame=1", "-o", Host(dir / "f1.png") });
    if (!PngAvailable()) {
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_FALSE(platform::FileExists(dir / "f1.png"));
        return;
    }
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    TDIBSurface s;
    DecodePng(test::ReadFile(dir / "f1.png"), s);
    ASSERT_TRUE(s.HasMask()); // RGBA for a frame with a mask
    EXPECT_EQ(s.Mask()->Pixel(0, 0), 0x80u);
    // Layer 0 with use-alpha: the frame takes the mask and the pixels are copied (5-6-5 widened).
    EXPECT_EQ(s.Pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(s.Pixel(2, 1), 0xFF0010u); // blue 2 of 31 -> (2 << 3) | (2 >> 2)
}

TEST(Galeconv, ErrorsWriteNothing)
{
    test::TempDir dir;
    std::string good = TwoFrames(0);
    test::WriteFile(dir / "cut.gal", good.substr(0, good.size() - 3));
    auto r = Galeconv({ Host(dir / "cut.gal"), "-o", Host(dir / "x.bmp") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_FALSE(r.Err.empty());
    EXPECT_FALSE(platform::FileExists(dir / "x.bmp")); // even though frame 0 was read
    test::WriteFile(dir / "t.gal", good);
    r = Galeconv({ Host(dir / "t.gal"), "--first-frame-only", "--frame", "1", "-o", Host(dir / "x.bmp") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("frame 1"), std::string::npos);
    TDIBSurface empty;
    empty.Resize(0, 0, 24);
    TGaleWriterOptions o;
    test::WriteFile(dir / "e.gal", WriteGale({ TGaleWriterFrame::OfSurface(empty) }, o));
    r = Galeconv({ Host(dir / "e.gal"), "-o", Host(dir / "x.bmp") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("empty"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(dir / "x.bmp"));
    r = Galeconv({ Host(dir / "missing.gal"), "-o", Host(dir / "x.bmp") });
    EXPECT_EQ(r.ExitCode, 1);

    // Wrong usage.
    EXPECT_EQ(Galeconv({ Host(dir / "t.gal"), "-o", Host(dir / "x.jpg") }).ExitCode, 2);
    EXPECT_EQ(Galeconv({ Host(dir / "t.gal") }).ExitCode, 2);
    EXPECT_EQ(Galeconv({ Host(dir / "t.gal"), "-o", Host(dir / "x.bmp"), "--seed", "4294967296" }).ExitCode, 2);
    EXPECT_EQ(Galeconv({ Host(dir / "t.gal"), "-o", Host(dir / "x.bmp"), "--bogus" }).ExitCode, 2);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>> {
             { Host(dir / "t.gal"), "-o" },
             { Host(dir / "t.gal"), "-o", Host(dir / "x.bmp"), "--frame" },
             { Host(dir / "t.gal"), "-o", Host(dir / "x.bmp"), "--frame=-1" },
             { Host(dir / "t.gal"), "-o", Host(dir / "x.bmp"), "--seed=twelve" },
             { Host(dir / "t.gal"), Host(dir / "u.gal"), "-o", Host(dir / "x.bmp") },
             { "--info", Host(dir / "t.gal"), "--to-gale" },
             { "--to-gale", Host(dir / "p.bmp"), "-o", Host(dir / "x.gal"), "--version=x" },
         }) {
        r = Galeconv(bad);
        EXPECT_EQ(r.ExitCode, 2) << testing::PrintToString(bad) << r.Err;
        EXPECT_NE(r.Err.find("Try 'galeconv --help'."), std::string::npos) << r.Err;
    }
    EXPECT_FALSE(platform::FileExists(dir / "x.bmp"));
    r = Galeconv({ "--help" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("--to-gale"), std::string::npos);
    r = Galeconv({ "--version" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out.rfind("galeconv ", 0), 0u);
}

TEST(Galeconv, InfoAsJson)
{
    test::TempDir dir;
    test::WriteFile(dir / "t.gal", TwoFrames(-1, 101));
    // Seeds -1, 4294967295 and 0xFFFFFFFF are the same 32 bits.
    for (const std::string seed : { "-1", "4294967295", "0xFFFFFFFF" }) {
        auto r = Galeconv({ "--info", Host(dir / "t.gal"), "--seed", seed, "--json" });
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        // One argument or two: the same.
        EXPECT_EQ(Galeconv({ "--info", Host(dir / "t.gal"), "--seed=" + seed, "--json" }).Out, r.Out);
        tools::Json j = tools::Json::parse(r.Out);
        EXPECT_EQ(j.at("version").get<int64_t>(), 101);
        EXPECT_EQ(j.at("format_version").get<int64_t>(), 101);
        EXPECT_EQ(j.at("frame_count").get<int64_t>(), 2);
        ASSERT_EQ(j.at("frames").size(), 2u);
        const tools::Json& f0 = j.at("frames")[0];
        EXPECT_EQ(f0.at("width").get<int64_t>(), 3);
        EXPECT_EQ(f0.at("height").get<int64_t>(), 2);
        EXPECT_EQ(f0.at("bits").get<int64_t>(), 16);
        EXPECT_EQ(f0.at("transparent_index").get<int64_t>(), 4);
        EXPECT_FALSE(f0.at("has_mask").get<bool>());
        EXPECT_TRUE(j.at("frames")[1].at("has_mask").get<bool>());
    }
    auto r = Galeconv({ "--info", Host(dir / "t.gal") });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("frame 1: 3 x 2, 16 bits, mask"), std::string::npos);
}

TEST(Galeconv, ToGale)
{
    test::TempDir dir;
    TDIBSurface pic;
    pic.Resize(5, 4, 8);
    for (int i = 0; i < 256; ++i)
        pic.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), 0, static_cast<uint8_t>(255 - i), 0 };
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x)
            pic.SetPixel(x, y, static_cast<uint32_t>(16 * y + x));
    test::WriteFile(dir / "p.bmp", EncodeBitmap(pic));
    auto read = [&](const AnsiString& path, int32_t seed) {
        TGaleFrameList list(seed);
        std::string bytes = test::ReadFile(path);
        list.LoadFromBytes(bytes, false);
        return list;
    };
    auto r = Galeconv({ "--to-gale", Host(dir / "p.bmp"), "-o", Host(dir / "p.gal") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    TGaleFrameList list = read(dir / "p.gal", 12345); // whole rows in order: any seed
    EXPECT_EQ(list.Version, 103);
    EXPECT_EQ(list.Frames(0).Surface.BitDepth(), 8);
    EXPECT_EQ(list.Frames(0).Surface.Pixel(4, 3), 52u);
    EXPECT_EQ(list.Frames(0).Surface.Palette()[3], pic.ColorTable[3]);

    r = Galeconv({ "--to-gale", Host(dir / "p.bmp"), "-o", Host(dir / "t.gal"), "--seed", "77", "--version", "106", "--scramble", "--tile",
                   "4x3" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    list = read(dir / "t.gal", 77);
    EXPECT_EQ(list.Version, 106);
    EXPECT_EQ(list.TileWidth, 4);
    EXPECT_EQ(list.Frames(0).Surface.Pixel(4, 3), 52u);

    // Below 103 rows are always permuted with the seed.
    r = Galeconv({ "--to-gale", Host(dir / "p.bmp"), "-o", Host(dir / "old.gal"), "--seed", "0x10", "--version", "0" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(read(dir / "old.gal", 16).Frames(0).Surface.Pixel(4, 3), 52u);
    EXPECT_NE(read(dir / "old.gal", 17).Frames(0).Surface.Pixel(4, 3), 52u);
    EXPECT_EQ(Galeconv({ "--to-gale", Host(dir / "p.bmp"), "-o", Host(dir / "x.gal"), "--version", "102", "--scramble" }).ExitCode, 2);
    EXPECT_EQ(Galeconv({ "--to-gale", Host(dir / "p.bmp"), "-o", Host(dir / "x.gal"), "--version", "101", "--tile", "8x8" }).ExitCode, 2);
    EXPECT_EQ(Galeconv({ "--to-gale", Host(dir / "p.gif"), "-o", Host(dir / "x.gal") }).ExitCode, 2);
    EXPECT_EQ(Galeconv({ "--to-gale", Host(dir / "p.bmp"), "-o", Host(dir / "x.gal"), "--tile", "8" }).ExitCode, 2);

    if (!PngAvailable())
        return;
    // RGBA: 24 bits with the alpha as the layer's mask, used as alpha.
    TDIBSurface rgba;
    rgba.Resize(2, 1, 24);
    rgba.SetPixel(1, 0, 0x123456);
    rgba.NeedMask();
    rgba.Mask()->SetPixel(1, 0, 0xC0);
    test::WriteFile(dir / "a.png", EncodePng(rgba));
    r = Galeconv({ "--to-gale", Host(dir / "a.png"), "-o", Host(dir / "a.gal") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    list = read(dir / "a.gal", 0);
    ASSERT_TRUE(list.Frames(0).HasMask());
    EXPECT_EQ(list.Frames(0).Surface.Mask()->Pixel(1, 0), 0xC0u);
    EXPECT_EQ(list.Frames(0).Surface.Pixel(1, 0), 0x123456u);
    EXPECT_EQ(Galeconv({ "--to-gale", Host(dir / "a.png"), "-o", Host(dir / "x.gal"), "--version", "100" }).ExitCode, 2);
}

} // namespace
