// Bitmap files assembled here from the header layouts.
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "support/surface_pixels.h"
#include "support/test_support.h"

using tarn::test::Pixels;

using namespace tarn;

namespace {

std::string Le32(uint32_t v) { return { static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24) }; }
std::string Le16(uint32_t v) { return { static_cast<char>(v), static_cast<char>(v >> 8) }; }

// File header + an info header of the given size (40 and larger), then extra bytes.
std::string Bitmap(uint32_t infoSize, int32_t w, int32_t h, int bits, uint32_t compression, uint32_t clrUsed, const std::string& masks,
                   const std::string& tableAndPixels)
{
    std::string info = Le32(infoSize) + Le32(static_cast<uint32_t>(w)) + Le32(static_cast<uint32_t>(h)) + Le16(1) + Le16(static_cast<uint32_t>(bits)) +
                       Le32(compression) + Le32(0) + Le32(0) + Le32(0) + Le32(clrUsed) + Le32(0);
    if (infoSize > 40) {
        info += masks.substr(0, infoSize >= 56 ? 16 : 12);
        info.resize(infoSize, '\0');
    } else {
        info += masks;
    }
    std::string body = info + tableAndPixels;
    return "BM" + Le32(static_cast<uint32_t>(14 + body.size())) + Le32(0) + Le32(0) + body; // offset 0: after the table
}

TEST(Bitmap, SavesTheDocumentedLayout)
{
    TDIBSurface s;
    s.Resize(2, 2, 4);
    s.ColorTable[1] = { 9, 8, 7, 6 };
    s.SetPixel(0, 0, 1); // top row
    s.SetPixel(1, 1, 2);
    std::string b = EncodeBitmap(s);
    EXPECT_EQ(test::ToHex(b.substr(0, 14)), "42 4d 7e 00 00 00 00 00 00 00 76 00 00 00"); // 14 + 40 + 64 = 118
    EXPECT_EQ(test::ToHex(b.substr(14, 40)),
              "28 00 00 00 02 00 00 00 02 00 00 00 01 00 04 00 00 00 00 00 08 00 00 00 00 00 00 00 00 00 00 00 10 00 00 00 00 00 00 00");
    EXPECT_EQ(test::ToHex(b.substr(58, 4)), "09 08 07 00"); // fourth byte 0
    EXPECT_EQ(test::ToHex(b.substr(118)), "02 00 00 00 10 00 00 00"); // bottom row first

    s.Resize(1, 1, 15);
    s.SetPixel(0, 0, 0x7FFF);
    b = EncodeBitmap(s);
    EXPECT_EQ(test::ToHex(b.substr(30, 4)), "03 00 00 00");
    EXPECT_EQ(test::ToHex(b.substr(54, 12)), "00 7c 00 00 e0 03 00 00 1f 00 00 00");
    s.Resize(1, 1, 32);
    s.SetPixel(0, 0, 0xAA112233);
    b = EncodeBitmap(s);
    EXPECT_EQ(test::ToHex(b.substr(54, 12)), "00 00 ff 00 00 ff 00 00 ff 00 00 00");
    EXPECT_EQ(test::ToHex(b.substr(66)), "33 22 11 aa");
    b = EncodeBitmap(s, false);
    EXPECT_EQ(test::ToHex(b.substr(30, 4)), "00 00 00 00");
    EXPECT_EQ(test::ToHex(b.substr(54)), "33 22 11 aa");
    s.Resize(1, 1, 24);
    EXPECT_EQ(EncodeBitmap(s).size(), 54u + 4u);

    test::TempDir dir;
    TDIBSurface saved, loaded;
    saved.Resize(3, 2, 16);
    saved.SetPixel(2, 1, 0xF81F);
    saved.SaveFile(dir / "x.BMP");
    loaded.LoadFile(dir / "x.BMP");
    EXPECT_EQ(loaded.EffectiveDepth(), 16);
    EXPECT_EQ(Pixels(loaded), Pixels(saved));
    EXPECT_THROW(loaded.LoadFile(dir / "missing.bmp"), EFOpenError);
    loaded.SaveFile(dir / "x.TGA"); // other extensions choose other formats
    EXPECT_EQ(test::ReadFile(dir / "x.TGA").substr(0, 3), std::string("\0\0\2", 3));
}

TEST(Bitmap, ReadsEveryHeaderSize)
{
    TDIBSurface s;
    // 12-byte core header: 16-bit width and height, 3-byte colour entries.
    std::string core = "BM" + Le32(0) + Le32(0) + Le32(0) + Le32(12) + Le16(2) + Le16(1) + Le16(1) + Le16(1) + test::Hex("00 00 00  ff ff ff") +
                       test::Hex("40 00 00 00");
    DecodeBitmap(core, s);
    EXPECT_EQ(s.BitDepth(), 1);
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 0, 1 }));
    EXPECT_EQ(s.Palette()[1], (TRGBQuad { 0xff, 0xff, 0xff, 0 }));

    // 40 bytes, 8 bits, two colours used, top-down.
    DecodeBitmap(Bitmap(40, 1, -2, 8, 0, 2, "", test::Hex("01 02 03 00  04 05 06 00") + test::Hex("01 00 00 00  00 00 00 00")), s);
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 1, 0 }));
    EXPECT_EQ(s.Palette()[1], (TRGBQuad { 4, 5, 6, 0 }));

    // 16-bit plain is 5-5-5; with bit fields after a 40-byte header, 5-6-5.
    DecodeBitmap(Bitmap(40, 1, 1, 16, 0, 0, "", test::Hex("ff 7f 00 00")), s);
    EXPECT_EQ(s.EffectiveDepth(), 15);
    const std::string m565 = Le32(0xF800) + Le32(0x07E0) + Le32(0x001F) + Le32(0);
    DecodeBitmap(Bitmap(40, 1, 1, 16, 3, 0, m565.substr(0, 12), test::Hex("34 12 00 00")), s);
    EXPECT_EQ(s.EffectiveDepth(), 16);
    EXPECT_EQ(s.Pixel(0, 0), 0x1234u);
    // Masks inside the larger headers.
    for (uint32_t size : { 52u, 56u, 108u, 124u }) {
        DecodeBitmap(Bitmap(size, 1, 2, 16, 3, 0, m565, test::Hex("01 00 00 00  02 00 00 00")), s);
        EXPECT_EQ(s.EffectiveDepth(), 16) << size;
        EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 2, 1 })) << size; // bottom-up
    }
    const std::string m888 = Le32(0xFF0000) + Le32(0xFF00) + Le32(0xFF) + Le32(0xFF000000);
    DecodeBitmap(Bitmap(108, 1, 1, 32, 3, 0, m888, test::Hex("01 02 03 04")), s);
    EXPECT_EQ(s.Pixel(0, 0), 0x04030201u);
    DecodeBitmap(Bitmap(40, 2, 1, 24, 0, 0, "", test::Hex("01 02 03 04 05 06 00 00")), s);
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 0x030201, 0x060504 }));
}

TEST(Bitmap, RefusesWhatItCannotHold)
{
    TDIBSurface s;
    s.Resize(1, 1, 8);
    auto message = [&](const std::string& bytes) {
        try {
            DecodeBitmap(bytes, s);
        } catch (const Exception& e) {
            return std::string(e.Message());
        }
        return std::string();
    };
    EXPECT_EQ(message(Bitmap(40, 1, 1, 8, 1, 0, "", "")), test::S(u8"圧縮されたビットマップには対応していません (圧縮形式 1)"));
    EXPECT_NE(message(Bitmap(40, 1, 1, 4, 2, 0, "", "")), "");
    EXPECT_NE(message(Bitmap(40, 1, 1, 24, 4, 0, "", "")), "");
    EXPECT_NE(message(Bitmap(40, 1, 1, 24, 5, 0, "", "")), "");
    EXPECT_EQ(message(Bitmap(40, 1, 1, 16, 3, 0, Le32(0xF00) + Le32(0xF0) + Le32(0xF), "")), test::S(u8"不正なピクセルフォーマットです"));
    EXPECT_EQ(message(Bitmap(40, 1, 1, 7, 0, 0, "", "")), test::S(u8"不正なビット数です (7)"));
    EXPECT_NE(message(Bitmap(64, 1, 1, 8, 0, 0, "", "")), "");
    EXPECT_EQ(message("PK"), test::S(u8"ビットマップファイルではありません"));
    std::string good = Bitmap(40, 3, 3, 24, 0, 0, "", std::string(36, '\x11'));
    EXPECT_EQ(message(good), "");
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_NE(message(good.substr(0, n)), "") << n;
    EXPECT_NE(message(Bitmap(40, 0x7fffffff, 0x7fffffff, 32, 0, 0, "", "")), "");
    EXPECT_EQ(s.Width(), 3); // the last good file
}

} // namespace
