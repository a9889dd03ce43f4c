#include <zlib.h>

#include "graphics/png_file.h"
#include "graphics/dib_surface.h"
#include "support/test_support.h"

using namespace tarn;

namespace {

// A PNG assembled chunk by chunk (CRCs and the deflated rows from zlib).
struct PngBuilder {
    std::string bytes = "\x89PNG\r\n\x1a\n";
    static std::string Be32(uint32_t v)
    {
        return { static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v) };
    }
    void Chunk(const char* type, const std::string& data)
    {
        std::string body = std::string(type, 4) + data;
        bytes += Be32(static_cast<uint32_t>(data.size())) + body;
        bytes += Be32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
    }
    void Header(uint32_t w, uint32_t h, int depth, int type)
    {
        Chunk("IHDR", Be32(w) + Be32(h) + std::string { static_cast<char>(depth), static_cast<char>(type), 0, 0, 0 });
    }
    void Rows(const std::string& filtered)
    {
        uLongf size = compressBound(static_cast<uLong>(filtered.size()));
        std::string z(size, '\0');
        compress(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(filtered.data()), static_cast<uLong>(filtered.size()));
        z.resize(size);
        Chunk("IDAT", z);
        Chunk("IEND", "");
    }
};

TEST(Png, WritesRgbThroughEveryDepth)
{
    TDIBSurface s;
    s.Resize(2, 1, 16);
    s.SetPixel(0, 0, 0xF800 | 0x0020 | 0x0001); // red 31, green 1, blue 1
    s.SetPixel(1, 0, 0x07E0);
    if (!PngAvailable()) {
        EXPECT_THROW(EncodePng(s), EGraphicError);
        GTEST_SKIP() << "PNG is refused in this build";
    }
    TDIBSurface back;
    DecodePng(EncodePng(s), back);
    EXPECT_EQ(back.BitDepth(), 24);
    EXPECT_FALSE(back.HasMask());
    // Bit replication: 31 -> 255, 1 (6 bits) -> 4, 1 (5 bits) -> 8.
    EXPECT_EQ(back.Pixel(0, 0), 0xFF0408u);
    EXPECT_EQ(back.Pixel(1, 0), 0x00FF00u);

    s.Resize(1, 1, 15);
    s.SetPixel(0, 0, 0x7C00 | 0x0010);
    DecodePng(EncodePng(s), back);
    EXPECT_EQ(back.Pixel(0, 0), 0xFF0084u);

    s.Resize(2, 1, 32);
    s.SetPixel(0, 0, 0xAB102030);
    s.NeedMask();
    s.Mask()->SetPixel(0, 0, 0x40);
    s.Mask()->SetPixel(1, 0, 0xFF);
    DecodePng(EncodePng(s), back);
    EXPECT_EQ(back.Pixel(0, 0), 0x102030u); // the fourth byte dropped
    ASSERT_TRUE(back.HasMask());
    EXPECT_EQ(back.Mask()->Pixel(0, 0), 0x40u);

    s.FreeMask();
    s.Resize(3, 1, 4);
    s.ColorTable[5] = { 1, 2, 3, 0 };
    s.SetPixel(2, 0, 5);
    DecodePng(EncodePng(s), back);
    EXPECT_EQ(back.BitDepth(), 24);
    EXPECT_EQ(back.Pixel(2, 0), 0x030201u);
}

TEST(Png, ReadsPalettesGreyAndDamage)
{
    if (!PngAvailable())
        GTEST_SKIP() << "PNG is refused in this build";
    // 3 x 2 at 2 bits per index with a palette of 3 and transparency for index 1.
    PngBuilder p;
    p.Header(3, 2, 2, 3);
    p.Chunk("PLTE", test::Hex("ff 00 00  00 ff 00  00 00 ff"));
    p.Chunk("tRNS", test::Hex("ff 80"));
    p.Rows(test::Hex("00 1b  00 90")); // filter 0; indices 0 1 2 | 2 1 0
    TDIBSurface s;
    DecodePng(p.bytes, s);
    EXPECT_EQ(s.BitDepth(), 8);
    EXPECT_EQ(s.Pixel(1, 0), 1u);
    EXPECT_EQ(s.Pixel(0, 1), 2u);
    EXPECT_EQ(s.Palette()[2], (TRGBQuad { 0xff, 0, 0, 0 }));
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Mask()->Pixel(1, 1), 0x80u);
    EXPECT_EQ(s.Mask()->Pixel(2, 0), 0xFFu); // beyond the transparency entries: opaque

    // 16-bit grey becomes 24-bit RGB.
    PngBuilder g;
    g.Header(1, 1, 16, 0);
    g.Rows(test::Hex("00 12 34"));
    DecodePng(g.bytes, s);
    EXPECT_EQ(s.BitDepth(), 24);
    EXPECT_FALSE(s.HasMask());
    uint32_t v = s.Pixel(0, 0) & 0xFF;
    EXPECT_EQ(s.Pixel(0, 0), v * 0x010101u);
    EXPECT_TRUE(v == 0x12);

    // Damage keeps the surface as it was.
    for (size_t n : { size_t(0), size_t(8), size_t(20), p.bytes.size() - 20 })
        EXPECT_THROW(DecodePng(p.bytes.substr(0, n), s), EGraphicError) << n;
    EXPECT_EQ(s.BitDepth(), 24);
}

// What the tools write: 8-bit RGB, or RGBA when the surface has a mask,
// not interlaced, on every system.
TEST(Png, WritesEightBitRgbOrRgbaWithoutInterlace)
{
    TDIBSurface s;
    s.Resize(3, 2, 24);
    s.SetPixel(2, 1, 0x123456);
    for (bool masked : { false, true }) {
        if (masked) {
            s.NeedMask();
            s.Mask()->SetPixel(1, 0, 0x7F);
        }
        std::string png = EncodePng(s);
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
        EXPECT_EQ(png.substr(12, 4), "IHDR");
        // width, height, depth 8, RGB (2) or RGBA (6), compression, filter, no interlace
        const char* header = masked ? "00000003 00000002 08 06 00 00 00" : "00000003 00000002 08 02 00 00 00";
        EXPECT_EQ(test::ToHex(png.substr(16, 13)), test::ToHex(test::Hex(header)));
        TDIBSurface back;
        DecodePng(png, back);
        EXPECT_EQ(back.Pixel(2, 1), 0x123456u);
        EXPECT_EQ(back.HasMask(), masked);
        if (masked) {
            EXPECT_EQ(back.Mask()->Pixel(1, 0), 0x7Fu);
            EXPECT_EQ(back.Mask()->Pixel(0, 0), 0u);
        }
    }
}

// Pictures libpng wrote: RGBA with an sRGB chunk as its simple writer makes
// it, and 16-bit RGB interlaced, scaled to 8 bits with libpng's rounding
// (0x12FF is 19, not the 18 its high byte would give).
TEST(Png, ReadsWhatLibpngWrote)
{
    const std::string rgba8 = test::Hex(R"(
        89 50 4e 47 0d 0a 1a 0a 00 00 00 0d 49 48 44 52 00 00 00 03 00 00 00 02 08 06 00 00 00 9d 74 66
        1a 00 00 00 01 73 52 47 42 00 ae ce 1c e9 00 00 00 23 49 44 41 54 08 99 63 f8 cf c0 f0 9f e1 3f
        43 03 03 c3 7f 06 06 2e 11 39 8d 13 d3 52 7e 31 32 31 b3 00 00 70 58 07 a7 11 18 36 36 00 00 00
        00 49 45 4e 44 ae 42 60 82)");
    TDIBSurface s;
    DecodePng(rgba8, s);
    ASSERT_EQ(s.BitDepth(), 24);
    ASSERT_TRUE(s.HasMask());
    const uint32_t colours[] = { 0xFF0000, 0x00FF00, 0x0000FF, 0x0A141E, 0xC89664, 0x010203 };
    const uint32_t alphas[] = { 255, 128, 0, 40, 250, 4 };
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(s.Pixel(i % 3, i / 3), colours[i]) << i;
        EXPECT_EQ(s.Mask()->Pixel(i % 3, i / 3), alphas[i]) << i;
    }

    const std::string rgb16 = test::Hex(R"(
        89 50 4e 47 0d 0a 1a 0a 00 00 00 0d 49 48 44 52 00 00 00 05 00 00 00 05 10 02 00 00 01 25 9a 5d
        67 00 00 00 9b 49 44 41 54 08 99 63 10 fa df f2 f3 2d 03 83 f5 e9 45 bd 47 4c 18 ee fd 96 b8 ab
        c8 c2 7e dc ac f0 87 05 83 7a aa f0 e1 1b b3 98 ce fc 99 f2 c4 84 85 b9 e2 af df eb 76 a6 c0 a7
        db 1c f4 67 47 cf f8 a7 aa fa 82 59 d6 e8 4c dc a3 b3 ca f5 5f 7f c6 32 b2 a4 fd 3b f5 69 16 93
        c8 bf 53 9f de 30 a1 70 18 5d ff bd fc b4 8b 91 db d8 23 f5 eb 59 2e 63 f7 d4 6f 67 b9 8c 3d 52
        bf 41 d9 50 b5 dc ff 4e 7d fa ca c4 f5 cf fd d3 37 26 ae 7f 42 9f be 31 71 fd 3b f5 e9 1b 13 00
        a2 06 50 f4 1c e9 ee bf 00 00 00 00 49 45 4e 44 ae 42 60 82)");
    DecodePng(rgb16, s);
    ASSERT_EQ(s.BitDepth(), 24);
    EXPECT_FALSE(s.HasMask());
    const uint32_t expected[25] = {
        0x1384ECu, 0x1DCCE2u, 0x2714D8u, 0x315BCEu, 0x3CA2C3u, 0x46E9B9u, 0x5031AFu, 0x5A78A5u, 0x64BF9Bu,
        0x6E0791u, 0x794F86u, 0x83967Cu, 0x8DDD72u, 0x972568u, 0xA16C5Eu, 0xABB354u, 0xB5FA4Au, 0xC0423Fu,
        0xCA8A35u, 0xD4D12Bu, 0xDE1921u, 0xE86017u, 0xF2A70Du, 0xFDEE02u, 0x0836F7u,
    };
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(s.Pixel(i % 5, i / 5), expected[i]) << i;
}

// Grey below 8 bits repeats its bits; a transparency chunk gives a mask that
// is clear exactly where a pixel has the key at the picture's own depth.
TEST(Png, GreyDepthsAndColourKeys)
{
    TDIBSurface s;
    struct Grey {
        int depth;
        const char* row;
        uint32_t values[4];
    };
    for (const Grey& g : { Grey{ 1, "00 a0", { 0xFF, 0, 0xFF, 0 } }, Grey{ 2, "00 e4", { 0xFF, 0xAA, 0x55, 0 } },
                           Grey{ 4, "00 f0 5a", { 0xFF, 0, 0x55, 0xAA } } }) {
        PngBuilder p;
        p.Header(4, 1, g.depth, 0);
        p.Rows(test::Hex(g.row));
        DecodePng(p.bytes, s);
        ASSERT_EQ(s.BitDepth(), 24) << g.depth;
        EXPECT_FALSE(s.HasMask());
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(s.Pixel(x, 0), g.values[x] * 0x010101u) << g.depth << " " << x;
    }

    // 2-bit grey keyed at 1 (the key's bits above the depth do not count).
    PngBuilder k2;
    k2.Header(4, 1, 2, 0);
    k2.Chunk("tRNS", test::Hex("01 05"));
    k2.Rows(test::Hex("00 1b")); // 0 1 2 3
    DecodePng(k2.bytes, s);
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Pixel(1, 0), 0x555555u);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(s.Mask()->Pixel(x, 0), x == 1 ? 0u : 255u) << x;

    // 16-bit grey keyed at 12FF: 1200 and 12FF scale to other values, and
    // only the exact key is clear.
    PngBuilder k16;
    k16.Header(3, 1, 16, 0);
    k16.Chunk("tRNS", test::Hex("12 ff"));
    k16.Rows(test::Hex("00 12ff 1300 12fe"));
    DecodePng(k16.bytes, s);
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Pixel(0, 0), 0x131313u);
    EXPECT_EQ(s.Pixel(1, 0), 0x131313u);
    EXPECT_EQ(s.Mask()->Pixel(0, 0), 0u);
    EXPECT_EQ(s.Mask()->Pixel(1, 0), 255u);
    EXPECT_EQ(s.Mask()->Pixel(2, 0), 255u);

    // 16-bit RGB keyed: the key compares all 16 bits of each sample.
    PngBuilder rgb;
    rgb.Header(2, 1, 16, 2);
    rgb.Chunk("tRNS", test::Hex("0100 0200 0300"));
    rgb.Rows(test::Hex("00 0100 0200 0300  0100 0200 0301"));
    DecodePng(rgb.bytes, s);
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Mask()->Pixel(0, 0), 0u);
    EXPECT_EQ(s.Mask()->Pixel(1, 0), 255u);
    EXPECT_EQ(s.Pixel(0, 0), 0x010203u);

    // 8-bit RGB keyed.
    PngBuilder rgb8;
    rgb8.Header(2, 1, 8, 2);
    rgb8.Chunk("tRNS", test::Hex("0010 0020 0030"));
    rgb8.Rows(test::Hex("00 102030 102031"));
    DecodePng(rgb8.bytes, s);
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Mask()->Pixel(0, 0), 0u);
    EXPECT_EQ(s.Mask()->Pixel(1, 0), 255u);
    EXPECT_EQ(s.Pixel(1, 0), 0x102031u);

    // Grey with alpha, at 8 and 16 bits.
    PngBuilder ga8;
    ga8.Header(1, 1, 8, 4);
    ga8.Rows(test::Hex("00 40 c0"));
    DecodePng(ga8.bytes, s);
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Pixel(0, 0), 0x404040u);
    EXPECT_EQ(s.Mask()->Pixel(0, 0), 0xC0u);
    PngBuilder ga16;
    ga16.Header(1, 1, 16, 4);
    ga16.Rows(test::Hex("00 12ff 7f80"));
    DecodePng(ga16.bytes, s);
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Pixel(0, 0), 0x131313u);
    EXPECT_EQ(s.Mask()->Pixel(0, 0), 0x7Fu);
}

// Palette pictures keep their indices; what libpng leaves out of a palette
// or refuses, this build leaves out or refuses too.
TEST(Png, PalettesAsLibpngReadsThem)
{
    TDIBSurface s;
    // A palette longer than the depth allows is cut to 2^depth colours.
    PngBuilder longer;
    longer.Header(2, 1, 1, 3);
    longer.Chunk("PLTE", test::Hex("ff0000 00ff00 0000ff"));
    longer.Rows(test::Hex("00 40"));
    DecodePng(longer.bytes, s);
    EXPECT_EQ(s.BitDepth(), 8);
    EXPECT_EQ(s.Pixel(1, 0), 1u);
    EXPECT_EQ(s.Palette()[1], (TRGBQuad{ 0, 0xff, 0, 0 }));
    EXPECT_EQ(s.Palette()[2], (TRGBQuad{ 0, 0, 0, 0 }));
    EXPECT_FALSE(s.HasMask());

    // A transparency chunk with more entries than colours is ignored, and so
    // is an ancillary chunk whose CRC is wrong.
    PngBuilder tooMany;
    tooMany.Header(2, 1, 8, 3);
    tooMany.Chunk("PLTE", test::Hex("ff0000 00ff00"));
    tooMany.Chunk("tRNS", test::Hex("00 00 00"));
    tooMany.Rows(test::Hex("00 00 01"));
    DecodePng(tooMany.bytes, s);
    EXPECT_FALSE(s.HasMask());
    PngBuilder badText;
    badText.Header(2, 1, 8, 3);
    badText.Chunk("PLTE", test::Hex("ff0000 00ff00"));
    badText.Chunk("tRNS", test::Hex("00"));
    badText.Rows(test::Hex("00 00 01"));
    std::string damaged = badText.bytes;
    size_t trns = damaged.find("tRNS");
    damaged[trns + 5] ^= 0x01; // its CRC no longer fits
    DecodePng(damaged, s);
    EXPECT_FALSE(s.HasMask());
    DecodePng(badText.bytes, s);
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Mask()->Pixel(0, 0), 0u);
    EXPECT_EQ(s.Mask()->Pixel(1, 0), 255u);

    // Damage to a critical chunk, a missing palette or a picture too large to
    // hold refuse the picture, and the surface stays as it was.
    std::string badPalette = badText.bytes;
    badPalette[badPalette.find("PLTE") + 4] ^= 0x01;
    EXPECT_THROW(DecodePng(badPalette, s), EGraphicError);
    PngBuilder noPalette;
    noPalette.Header(2, 1, 8, 3);
    noPalette.Rows(test::Hex("00 00 01"));
    EXPECT_THROW(DecodePng(noPalette.bytes, s), EGraphicError);
    PngBuilder huge;
    huge.Header(100000, 100000, 8, 0);
    huge.Rows(test::Hex("00 00"));
    EXPECT_THROW(DecodePng(huge.bytes, s), EGraphicError);
    EXPECT_EQ(s.Width(), 2);
    EXPECT_TRUE(s.HasMask());

    // The end chunk is not needed once the image data is whole.
    std::string noEnd = badText.bytes.substr(0, badText.bytes.size() - 12);
    DecodePng(noEnd, s);
    EXPECT_EQ(s.Pixel(1, 0), 1u);
}

} // namespace
