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

} // namespace
