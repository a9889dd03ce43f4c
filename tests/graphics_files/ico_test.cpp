// Icon and cursor files assembled here from the directory and bitmap layouts,
// with the pixels and masks worked out by hand; then the writer.
#include "file_builders.h"
#include "graphics/image_files.h"
#include "support/test_support.h"

using namespace tarn;
using namespace tarn::test;
using namespace std::string_literals;

namespace {

struct Loaded {
    TDIBSurface s;
    int32_t key = -1;
    TLoadResults r;
};

void Load(Loaded& l, const std::string& bytes, int32_t key, bool keepAlpha = false, bool askIcon = false)
{
    l.key = key;
    DecodeIcon(bytes, l.s, l.key, l.r, keepAlpha, askIcon);
}

// 2 x 2 at 4 bits: top row 2 1, bottom row 1 2; the transparency rows mark
// the top-left and the bottom-right pixel.
std::string FourBitImage(bool withTransparency = true)
{
    std::string table = Le32(0) + Le32(0x00FF0000) + Le32(0x0000FF00) + std::string(13 * 4, '\0');
    std::string pixels = Bytes({ 0x12, 0, 0, 0, /* top: */ 0x21, 0, 0, 0 });
    std::string transparency = Bytes({ 0x40, 0, 0, 0, /* top: */ 0x80, 0, 0, 0 });
    return InfoHeader(2, 4, 4) + table + pixels + (withTransparency ? transparency : "");
}

TEST(IconRead, TransparencyRowsAsMaskOrKey)
{
    std::string file = IconFile(1, { FourBitImage() });
    Loaded l;
    Load(l, file, RGBColor(255, 0, 255), true);
    ASSERT_EQ(l.s.BitDepth(), 4);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 2, 1, 1, 2 }));
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 0, 255, 255, 0 }));
    EXPECT_EQ(l.key, -1); // the mask is kept
    EXPECT_FALSE(l.r.HasAlphaMask);
    EXPECT_EQ(l.r.FileBits, 4);
    EXPECT_EQ(l.s.ColorTable[1], (TRGBQuad { 0, 0, 255, 0 }));

    // With a key colour: index 0 is unused, takes the colour, and the
    // transparent pixels take index 0.
    Load(l, file, RGBColor(255, 0, 255));
    EXPECT_EQ(l.key, 0);
    EXPECT_FALSE(l.s.HasMask());
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0, 1, 1, 0 }));
    EXPECT_EQ(l.s.ColorTable[0], (TRGBQuad { 255, 0, 255, 0 }));
    EXPECT_EQ(l.s.Palette()[0], l.s.ColorTable[0]);
    // A negative key asks for no colour: the mask is kept.
    Load(l, file, -1);
    EXPECT_EQ(l.key, -1);
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 0, 255, 255, 0 }));

    // Without transparency rows every pixel is opaque.
    Load(l, IconFile(1, { FourBitImage(false) }), -1);
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 255, 255, 255, 255 }));
}

TEST(IconRead, KeyAtTrueColourAndAtOneBit)
{
    // 1 x 2 at 24 bits: no palette index is free, so the key is packed.
    std::string image = InfoHeader(1, 4, 24) + Bytes({ 1, 2, 3, 0, /* top: */ 4, 5, 6, 0 }) + Bytes({ 0x80, 0, 0, 0, 0, 0, 0, 0 });
    Loaded l;
    Load(l, IconFile(1, { image }), RGBColor(0x11, 0x22, 0x33));
    EXPECT_EQ(l.key, 0x112233);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x060504, 0x112233 }));

    // At 1 bit the mask stays whatever the key.
    image = InfoHeader(1, 2, 1) + Le32(0) + Le32(0xFFFFFF) + Bytes({ 0x80, 0, 0, 0 }) + Bytes({ 0x80, 0, 0, 0 });
    Load(l, IconFile(1, { image }), RGBColor(1, 2, 3));
    EXPECT_EQ(l.key, -1);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 1 }));
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 0 }));
}

TEST(IconRead, ThirtyTwoBitAlpha)
{
    // 2 x 1: alpha 0x80 and 0xFF; the transparency rows clear the second pixel.
    std::string pixels = Bytes({ 1, 2, 3, 0x80, 4, 5, 6, 0xFF });
    std::string image = InfoHeader(2, 2, 32) + pixels + Bytes({ 0x40, 0, 0, 0 });
    Loaded l;
    Load(l, IconFile(1, { image }), RGBColor(9, 9, 9)); // the key plays no part
    EXPECT_EQ(l.s.BitDepth(), 24);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201, 0x060504 }));
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 0x80, 0 }));
    EXPECT_TRUE(l.r.HasAlphaMask);
    EXPECT_EQ(l.key, -1);

    // Colour masks follow the header only when it says bit fields.
    image = InfoHeader(2, 2, 32, 3) + Le32(0xFF0000) + Le32(0xFF00) + Le32(0xFF) + pixels;
    Load(l, IconFile(1, { image }), -1);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201, 0x060504 }));
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 0x80, 0xFF })); // no transparency rows: alpha alone
    // 16 bits without bit fields: 5-5-5.
    image = InfoHeader(1, 2, 16) + Le16(0x7C00) + Le16(0);
    Load(l, IconFile(1, { image }), -1);
    EXPECT_EQ(l.s.EffectiveDepth(), 15);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x7C00 }));
}

TEST(IconRead, CursorsBitmapsAndDirectories)
{
    Loaded l;
    Load(l, IconFile(2, { FourBitImage() }, { { 5, 7 } }), -1);
    EXPECT_EQ(l.r.HotSpot, (TPoint { 5, 7 }));
    Load(l, IconFile(1, { FourBitImage() }, { { 5, 7 } }), -1);
    EXPECT_EQ(l.r.HotSpot, (TPoint { 0, 0 })); // icons have planes and bit counts there

    // A bitmap file under an icon's name.
    std::string bmp = "BM" + Le32(14 + 40 + 4) + Le32(0) + Le32(54) + InfoHeader(1, 1, 24) + Bytes({ 1, 2, 3, 0 });
    Load(l, bmp, RGBColor(1, 1, 1));
    EXPECT_EQ(l.key, -1);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201 }));

    // Refused: not an icon, no image, a directory cut short, entries outside the file.
    l.s.Resize(1, 1, 8);
    EXPECT_THROW(Load(l, Le16(0) + Le16(3) + Le16(1), -1), EGraphicError);
    EXPECT_THROW(Load(l, Le16(0) + Le16(1) + Le16(0), -1), EGraphicError);
    EXPECT_THROW(Load(l, Le16(0) + Le16(1) + Le16(2) + std::string(16, '\0'), -1), EGraphicError);
    std::string file = IconFile(1, { FourBitImage() });
    std::string outside = file;
    outside[6 + 12] = static_cast<char>(0xF0); // offset far beyond the end
    EXPECT_THROW(Load(l, outside, -1), EGraphicError);
    outside = file;
    outside[6 + 9] = 0x10; // size 4 KiB more than the file holds
    EXPECT_THROW(Load(l, outside, -1), EGraphicError);
    EXPECT_THROW(Load(l, file.substr(0, file.size() - 20), -1), EGraphicError); // pixels cut off
    EXPECT_THROW(Load(l, IconFile(1, { "\x89PNG\r\n\x1a\n" + std::string(40, '\0') }), -1), EGraphicError);
    EXPECT_EQ(l.s.Width(), 1); // untouched by every refusal
    EXPECT_EQ(l.s.BitDepth(), 8);
}

TEST(IconRead, SeveralImagesAskTheChooser)
{
    std::string second = InfoHeader(1, 2, 32) + Bytes({ 7, 8, 9, 0x40 });
    std::string file = IconFile(1, { FourBitImage(), second });
    Loaded l;
    Load(l, file, -1, false, false);
    EXPECT_EQ(l.r.ChosenIcon, 0); // no asking
    std::vector<TIconImageInfo> seen;
    std::vector<uint32_t> previewMask;
    SetIconChooser([&](const TIconChoice& choice) {
        seen = choice.Images;
        TDIBSurface preview;
        choice.ReadImage(0, preview);
        previewMask = MaskOf(preview);
        return 1;
    });
    Load(l, file, -1, false, true);
    EXPECT_EQ(l.r.ChosenIcon, 1);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].Width, 2);
    EXPECT_EQ(seen[0].Height, 2);
    EXPECT_EQ(seen[0].BitCount, 4);
    EXPECT_EQ(seen[1].BitCount, 32);
    EXPECT_EQ(previewMask, (std::vector<uint32_t> { 0, 255, 255, 0 }));
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x090807 }));
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 0x40 }));
    EXPECT_EQ(ToHex(IconChoiceLine(0, seen[0])), ToHex("001 : 2 x 2  4 bpp"));
    // An answer outside the list reads the first image.
    SetIconChooser([](const TIconChoice&) { return 5; });
    Load(l, file, -1, false, true);
    EXPECT_EQ(l.r.ChosenIcon, 0);
    SetIconChooser(nullptr);
    Load(l, file, -1, false, true);
    EXPECT_EQ(l.r.ChosenIcon, 0);
}

// ---- the writer ----

TEST(IconWrite, KeyAtPaletteDepth)
{
    TDIBSurface s;
    s.Resize(2, 2, 8);
    s.ColorTable[3] = { 9, 9, 9, 0 };
    s.SetPixel(0, 0, 3); // top left is the key
    s.SetPixel(1, 0, 1);
    std::string f = EncodeIcon(s, 3, TPoint {}, false, nullptr, false);
    const uint32_t bitmapSize = 40 + 1024 + 8;
    EXPECT_EQ(ToHex(f.substr(0, 22)), ToHex("\0\0\1\0\1\0"s + Bytes({ 2, 2, 0, 0 }) + Le16(0) + Le16(8) + Le32(bitmapSize + 8) + Le32(22)));
    EXPECT_EQ(ToHex(f.substr(22 + 8, 4)), "04 00 00 00"); // twice the height
    EXPECT_EQ(ToHex(f.substr(22 + 20, 4)), "10 00 00 00"); // 2 x 4 pixel bytes + 2 x 4 transparency bytes
    EXPECT_EQ(ToHex(f.substr(22 + 40 + 12, 4)), "00 00 00 00"); // entry 3 is black
    ASSERT_EQ(f.size(), 22u + bitmapSize + 8);
    EXPECT_EQ(ToHex(f.substr(f.size() - 8)), "00 00 00 00 80 00 00 00"); // bottom row first
    Loaded l;
    Load(l, f, -1);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 3, 1, 0, 0 }));
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 0, 255, 255, 255 }));

    // A 4-bit cursor: 16 colours in the entry, the hot spot in place of planes and bits.
    s.Resize(2, 2, 4);
    f = EncodeIcon(s, -1, TPoint { 1, 0 }, false, nullptr, true);
    EXPECT_EQ(ToHex(f.substr(2, 2)), "02 00");
    EXPECT_EQ(ToHex(f.substr(6, 8)), "02 02 10 00 01 00 00 00");
    Load(l, f, -1);
    EXPECT_EQ(l.r.HotSpot, (TPoint { 1, 0 }));
    EXPECT_EQ(MaskOf(l.s), std::vector<uint32_t>(4, 255));
}

TEST(IconWrite, TrueColourWithKeyOrAlpha)
{
    TDIBSurface s, alpha;
    s.Resize(2, 1, 16);
    s.SetPixel(0, 0, 0xF800);
    s.SetPixel(1, 0, 0x07E0);
    Loaded l;
    // 16 bits are written as 24; the key pixel becomes black and transparent.
    std::string f = EncodeIcon(s, 0x07E0, TPoint {}, false, nullptr, false);
    EXPECT_EQ(f[12], 24);
    Load(l, f, -1);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0xFF0000, 0 }));
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 255, 0 }));

    alpha.Resize(2, 1, 8);
    alpha.SetPixel(0, 0, 200);
    alpha.SetPixel(1, 0, 100);
    f = EncodeIcon(s, -1, TPoint {}, false, &alpha, false);
    Load(l, f, -1);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0xFF0000, 0 })); // below 128: transparent
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 255, 0 }));

    // With IconAlpha: 32 bits, the alpha in the fourth bytes, transparency rows where it is 0.
    alpha.SetPixel(1, 0, 0);
    f = EncodeIcon(s, -1, TPoint {}, true, &alpha, false);
    EXPECT_EQ(f[12], 32);
    EXPECT_EQ(ToHex(f.substr(22 + 40, 8)), "00 00 ff c8 00 00 00 00");
    EXPECT_EQ(ToHex(f.substr(f.size() - 4)), "40 00 00 00");
    Load(l, f, -1);
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 200, 0 }));
    EXPECT_TRUE(l.r.HasAlphaMask);

    // At palette depths a pixel with little alpha takes a free index, painted black.
    s.Resize(2, 1, 8);
    s.ColorTable[0] = { 50, 50, 50, 0 };
    s.SetPixel(0, 0, 0), s.SetPixel(1, 0, 2);
    alpha.SetPixel(0, 0, 255), alpha.SetPixel(1, 0, 0);
    Load(l, EncodeIcon(s, -1, TPoint {}, false, &alpha, false), -1, true);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0, 1 }));
    EXPECT_EQ(l.s.ColorTable[1], TRGBQuad {});
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 255, 0 }));

    s.Resize(257, 1, 24);
    EXPECT_THROW(EncodeIcon(s, -1, TPoint {}, false, nullptr, false), EGraphicError);
    TDIBSurface empty;
    EXPECT_THROW(EncodeIcon(empty, -1, TPoint {}, false, nullptr, false), EGraphicError);
}

} // namespace
