#include <cstring>
#include <random>

#include "graphics/dib_surface.h"
#include "support/surface_pixels.h"
#include "support/test_support.h"

using tarn::test::Pixels;

using namespace tarn;

namespace {

// A surface whose pixels are set from a list, row by row from the top.
void Fill(TDIBSurface& s, std::initializer_list<uint32_t> values)
{
    auto it = values.begin();
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x)
            s.SetPixel(x, y, *it++);
}

TEST(Surface, StrideRowsAndPixelLayout)
{
    TDIBSurface s;
    EXPECT_TRUE(s.Empty());
    s.Resize(3, 2, 24);
    EXPECT_EQ(s.Stride(), 12); // 9 bytes rounded up to 4
    EXPECT_EQ(s.RowStep(), -12);
    // Rows are bottom-up: row 0 (the top) is the last stored row.
    EXPECT_EQ(s.RowAddress(0), s.Bits() + 12);
    EXPECT_EQ(s.RowAddress(1), s.Bits());
    EXPECT_EQ(s.TopRow(), s.RowAddress(0));
    s.SetPixel(1, 0, 0x112233);
    EXPECT_EQ(s.RowAddress(0)[3], 0x33);
    EXPECT_EQ(s.RowAddress(0)[4], 0x22);
    EXPECT_EQ(s.RowAddress(0)[5], 0x11);
    try {
        s.RowAddress(2);
        FAIL();
    } catch (const EGraphicError& e) {
        EXPECT_EQ(e.Message(), test::S(u8"スキャンラインのインデックスが範囲を越えました (2)"));
    }
    EXPECT_THROW(s.RowAddress(-1), EGraphicError);

    TDIBSurface one;
    one.Resize(33, 1, 1);
    EXPECT_EQ(one.Stride(), 8);
    one.SetPixel(0, 0, 1);
    one.SetPixel(9, 0, 1);
    EXPECT_EQ(one.RowAddress(0)[0], 0x80);
    EXPECT_EQ(one.RowAddress(0)[1], 0x40);
    TDIBSurface four;
    four.Resize(3, 1, 4);
    EXPECT_EQ(four.Stride(), 4);
    four.SetPixel(0, 0, 0xA);
    four.SetPixel(1, 0, 0x5);
    four.SetPixel(2, 0, 0x1F); // reduced to the nibble
    EXPECT_EQ(four.RowAddress(0)[0], 0xA5);
    EXPECT_EQ(four.RowAddress(0)[1], 0xF0);
    EXPECT_EQ(four.Pixel(2, 0), 0xFu);
    TDIBSurface sixteen;
    sixteen.Resize(1, 1, 16);
    sixteen.SetPixel(0, 0, 0xBEEF);
    EXPECT_EQ(sixteen.RowAddress(0)[0], 0xEF);
    EXPECT_EQ(sixteen.RowAddress(0)[1], 0xBE);
}

TEST(Surface, ResizeDepthsAndErrors)
{
    TDIBSurface s;
    s.Resize(2, 2, 15);
    EXPECT_EQ(s.BitDepth(), 16);
    EXPECT_EQ(s.EffectiveDepth(), 15);
    EXPECT_EQ(s.GreenMask(), 0x03E0u);
    s.SetPixel(1, 1, 0x1234);
    s.Resize(2, 2, 15); // nothing changes: the pixels stay
    EXPECT_EQ(s.Pixel(1, 1), 0x1234u);
    s.Resize(2, 2, 16); // another format: rebuilt, zero
    EXPECT_EQ(s.EffectiveDepth(), 16);
    EXPECT_EQ(s.RedMask(), 0xF800u);
    EXPECT_EQ(s.Pixel(1, 1), 0u);
    s.SetPixel(1, 1, 7);
    try {
        s.Resize(4, 4, 12);
        FAIL();
    } catch (const EGraphicError& e) {
        EXPECT_EQ(e.Message(), test::S(u8"不正なビット数です (12)"));
    }
    EXPECT_EQ(s.Width(), 2); // kept
    EXPECT_EQ(s.Pixel(1, 1), 7u);
    s.Resize(0, 5, 24);
    EXPECT_TRUE(s.Empty());
    EXPECT_EQ(s.FullRect(), Rect(0, 0, 0, 0));
    s.Resize(5, -1, 8);
    EXPECT_TRUE(s.Empty());
    EXPECT_THROW(s.Resize(70000, 70000, 32), EGraphicError); // beyond what rows can address
}

TEST(Surface, MaskOperations)
{
    TDIBSurface s;
    s.Resize(3, 2, 24);
    s.NeedMask();
    ASSERT_TRUE(s.HasMask());
    EXPECT_EQ(s.Mask()->BitDepth(), 8);
    s.Mask()->SetPixel(2, 1, 200);
    s.NeedMask(); // a second call keeps the contents
    EXPECT_EQ(s.Mask()->Pixel(2, 1), 200u);
    s.Resize(5, 4, 24);
    EXPECT_EQ(s.Mask()->Width(), 5);
    EXPECT_EQ(s.Mask()->Height(), 4);
    s.FreeMask();
    EXPECT_FALSE(s.HasMask());

    TDIBSurface alpha;
    alpha.Resize(6, 5, 8);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x)
            alpha.SetPixel(x, y, static_cast<uint32_t>(10 * y + x));
    s.CopyMaskFrom(alpha); // a larger source: the mask's rows take their own width
    EXPECT_EQ(s.Mask()->Pixel(4, 3), 34u);
    EXPECT_EQ(s.Mask()->Pixel(0, 0), 0u);

    TDIBSurface copy;
    s.SetPixel(1, 2, 0xABCDEF);
    s.ColorTable[3] = { 1, 2, 3, 0 };
    copy.AssignSurface(s);
    EXPECT_EQ(copy.Width(), 5);
    EXPECT_EQ(copy.Pixel(1, 2), 0xABCDEFu);
    EXPECT_EQ(copy.Palette()[3], (TRGBQuad { 1, 2, 3, 0 }));
    ASSERT_TRUE(copy.HasMask());
    EXPECT_EQ(copy.Mask()->Pixel(4, 3), 34u);
    TDIBSurface plain;
    plain.Resize(1, 1, 15);
    copy.AssignSurface(plain);
    EXPECT_FALSE(copy.HasMask());
    EXPECT_EQ(copy.EffectiveDepth(), 15);
    TDIBSurface fresh; // never sized
    copy.AssignSurface(fresh);
    EXPECT_TRUE(copy.Empty());
}

TEST(Surface, FillValueAtEveryDepth)
{
    TDIBSurface s;
    s.Resize(3, 2, 15);
    s.FillValue(s.FullRect(), 0xFFFF);
    EXPECT_EQ(s.Pixel(2, 1), 0x7FFFu);
    s.Resize(3, 2, 16);
    s.FillValue(Rect(-5, -5, 2, 1), 0x1FFFF);
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 0xFFFF, 0xFFFF, 0, 0, 0, 0 }));

    // 1 bit: leading bits, whole bytes, trailing bits.
    TDIBSurface one;
    one.Resize(40, 1, 1);
    one.FillValue(Rect(5, 0, 30, 1), 3);
    const uint8_t* row = one.RowAddress(0);
    EXPECT_EQ(row[0], 0x07);
    EXPECT_EQ(row[1], 0xFF);
    EXPECT_EQ(row[2], 0xFF);
    EXPECT_EQ(row[3], 0xFC);
    EXPECT_EQ(row[4], 0x00);
    one.FillValue(Rect(7, 0, 9, 1), 0);
    EXPECT_EQ(row[0], 0x06);
    EXPECT_EQ(row[1], 0x7F);

    // 4 bits: a leading odd pixel, pairs, a trailing pixel.
    TDIBSurface four;
    four.Resize(8, 1, 4);
    four.FillValue(Rect(1, 0, 6, 1), 0x3A);
    EXPECT_EQ(test::ToHex(std::string(reinterpret_cast<const char*>(four.RowAddress(0)), 4)), "0a aa aa 00");

    TDIBSurface t;
    t.Resize(2, 1, 24);
    t.FillValue(Rect(1, 0, 2, 1), 0xFF123456);
    EXPECT_EQ(Pixels(t), (std::vector<uint32_t> { 0, 0x123456 }));
    TDIBSurface q;
    q.Resize(1, 1, 32);
    q.FillValue(q.FullRect(), 0xFF123456);
    EXPECT_EQ(q.Pixel(0, 0), 0xFF123456u);
}

TEST(Surface, MirrorFlipPackUnpack)
{
    TDIBSurface s;
    s.Resize(3, 2, 4);
    Fill(s, { 1, 2, 3, 4, 5, 6 });
    s.MirrorHorizontal();
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 3, 2, 1, 6, 5, 4 }));
    s.FlipVertical();
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 6, 5, 4, 3, 2, 1 }));

    TDIBSurface c;
    c.Resize(1, 1, 15);
    EXPECT_EQ(c.PackColor(31, 31, 31), 0x7FFFu);
    EXPECT_EQ(c.PackColor(0x21, 0, 0), 0x0400u); // components are not scaled, only cut
    uint8_t r = 9, g = 9, b = 9;
    c.UnpackColor(0x7C1F, r, g, b);
    EXPECT_EQ(r, 31);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 31);
    c.Resize(1, 1, 16);
    EXPECT_EQ(c.PackColor(31, 63, 31), 0xFFFFu);
    c.UnpackColor(0x07E0, r, g, b);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 63);
    EXPECT_EQ(b, 0);
    c.Resize(1, 1, 24);
    EXPECT_EQ(c.PackColor(1, 2, 3), 0x010203u);
    c.UnpackColor(0x0A0B0C, r, g, b);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, 11);
    EXPECT_EQ(b, 12);
    c.Resize(1, 1, 32);
    c.UnpackColor(0x0A0B0C, r, g, b); // 32 bits leaves the outputs alone
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, 11);
    EXPECT_EQ(b, 12);
    c.Resize(1, 1, 8);
    c.ColorTable[0] = { 0, 0, 0, 0 };
    c.ColorTable[1] = { 10, 10, 10, 0 };
    c.ColorTable[2] = { 30, 30, 30, 0 };
    c.ApplyColorTable();
    EXPECT_EQ(c.PackColor(20, 20, 20), 1u); // 1 and 2 lie equally near: the lower index
    EXPECT_EQ(c.PackColor(21, 21, 21), 2u);
    c.UnpackColor(2, r, g, b);
    EXPECT_EQ(r, 30);
}

TEST(Surface, CanvasColours)
{
    TDIBSurface s;
    s.Resize(2, 1, 15);
    s.Canvas().Brush.Color = RGBColor(0xFF, 0x80, 0x07);
    s.Canvas().FillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(s.Pixel(0, 0), (31u << 10) | (16u << 5) | 0u); // each channel truncated
    EXPECT_EQ(s.Canvas().Pixel(0, 0), RGBColor(0xFF, 0x84, 0x00));
    s.Resize(1, 1, 16);
    s.Canvas().SetPixel(0, 0, RGBColor(0x08, 0xFF, 0x10));
    EXPECT_EQ(s.Pixel(0, 0), (1u << 11) | (63u << 5) | 2u);
    s.Resize(1, 1, 32);
    s.FillValue(s.FullRect(), 0xFFFFFFFF);
    s.Canvas().Brush.Color = RGBColor(1, 2, 3);
    s.Canvas().FillRect(s.FullRect());
    EXPECT_EQ(s.Pixel(0, 0), 0x00010203u); // fourth byte 0
    s.Resize(1, 1, 1);
    s.ColorTable[0] = { 0xFF, 0xFF, 0xFF, 0 };
    s.ColorTable[1] = { 0, 0, 0, 0 };
    s.ApplyColorTable();
    s.Canvas().Brush.Color = RGBColor(0x70, 0x70, 0x70);
    s.Canvas().FillRect(s.FullRect());
    EXPECT_EQ(s.Pixel(0, 0), 1u);
    EXPECT_EQ(s.Canvas().Pixel(0, 0), clBlack);
    // The palette in use is the applied one, not the edited table.
    s.ColorTable[1] = { 0, 0, 0xFF, 0 };
    EXPECT_EQ(s.Canvas().Pixel(0, 0), clBlack);
    s.ApplyColorTable();
    EXPECT_EQ(s.Canvas().Pixel(0, 0), clRed);

    // Drawing converts through colours and is cut to the target.
    TDIBSurface src, dst;
    src.Resize(2, 2, 16);
    Fill(src, { 0xF800, 0x07E0, 0x001F, 0xFFFF });
    dst.Resize(3, 3, 24);
    dst.Canvas().Draw(1, 1, src);
    EXPECT_EQ(Pixels(dst), (std::vector<uint32_t> { 0, 0, 0, 0, 0xFF0000, 0x00FF00, 0, 0x0000FF, 0xFFFFFF }));
    dst.Canvas().StretchDraw(Rect(0, 0, 3, 3), src);
    EXPECT_EQ(dst.Pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(dst.Pixel(2, 2), 0xFFFFFFu);

    TDIBSurface deep;
    deep.Resize(2, 1, 16);
    Fill(deep, { 0xF800, 0x001F });
    deep.SetDepth(24);
    EXPECT_EQ(deep.BitDepth(), 24);
    EXPECT_EQ(Pixels(deep), (std::vector<uint32_t> { 0xFF0000, 0x0000FF }));
    TDIBSurface none;
    none.SetDepth(8);
    EXPECT_EQ(none.Width(), 1);
    EXPECT_EQ(none.BitDepth(), 8);
}

// ---- block transfers ----

TEST(SurfaceBlit, ClippingShiftsTheSource)
{
    TDIBSurface src, dst;
    src.Resize(4, 4, 8);
    Fill(src, { 0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33 });
    dst.Resize(6, 6, 8);
    dst.ClipBounds = Rect(2, 2, 5, 5);
    // Destination (1, 0) lies left of and above the clip: the source moves by (1, 2).
    dst.BlitRect(1, 0, src.FullRect(), src);
    EXPECT_EQ(dst.Pixel(2, 2), 21u);
    EXPECT_EQ(dst.Pixel(4, 2), 23u);
    EXPECT_EQ(dst.Pixel(4, 3), 33u);
    EXPECT_EQ(dst.Pixel(1, 2), 0u);
    EXPECT_EQ(dst.Pixel(2, 4), 0u); // beyond the source's last row
    EXPECT_EQ(dst.Pixel(5, 2), 0u); // right of the clip
    // Entirely outside: nothing.
    dst.ClipBounds = {};
    dst.FillValue(dst.FullRect(), 9);
    dst.Blit(6, 0, src);
    dst.Blit(-4, 0, src);
    EXPECT_EQ(Pixels(dst), std::vector<uint32_t>(36, 9));
    // Right and bottom edges cut the rectangle.
    dst.Blit(4, 5, src);
    EXPECT_EQ(dst.Pixel(4, 5), 0u);
    EXPECT_EQ(dst.Pixel(5, 5), 1u);
    // Formats must agree; the source rectangle must lie in the source.
    TDIBSurface other;
    other.Resize(2, 2, 24);
    EXPECT_THROW(dst.Blit(0, 0, other), EGraphicError);
    EXPECT_THROW(dst.BlitRect(0, 0, Rect(0, 0, 5, 1), src), EGraphicError);
    EXPECT_THROW(dst.BlitAlpha(0, 0, src.FullRect(), src), EGraphicError); // no mask
}

TEST(SurfaceBlit, SubBytePixelsAtAnyAlignment)
{
    TDIBSurface src, dst;
    src.Resize(5, 1, 1);
    Fill(src, { 1, 0, 1, 1, 0 });
    dst.Resize(12, 1, 1);
    dst.BlitRect(6, 0, Rect(1, 0, 5, 1), src);
    EXPECT_EQ(Pixels(dst), (std::vector<uint32_t> { 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0 }));
    dst.FillValue(dst.FullRect(), 1);
    dst.BlitKeyed(0, 0, src.FullRect(), 5, src); // a nonzero key counts as 1
    EXPECT_EQ(Pixels(dst), (std::vector<uint32_t> { 1, 0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1 }));

    TDIBSurface s4, d4;
    s4.Resize(3, 1, 4);
    Fill(s4, { 7, 8, 9 });
    d4.Resize(4, 1, 4);
    d4.BlitKeyed(1, 0, s4.FullRect(), 8, s4);
    EXPECT_EQ(Pixels(d4), (std::vector<uint32_t> { 0, 7, 0, 9 }));
}

TEST(SurfaceBlit, KeyedAtEveryDepth)
{
    TDIBSurface s24, d24;
    s24.Resize(3, 1, 24);
    Fill(s24, { 0x123456, 0xFFFFFF, 0x000001 });
    d24.Resize(3, 1, 24);
    d24.FillValue(d24.FullRect(), 0x777777);
    d24.BlitKeyed(0, 0, s24.FullRect(), 0x7F123456, s24); // low 24 bits of the key
    EXPECT_EQ(Pixels(d24), (std::vector<uint32_t> { 0x777777, 0xFFFFFF, 0x000001 }));
    d24.FillValue(d24.FullRect(), 0x777777);
    d24.BlitKeyed(0, 0, s24.FullRect(), -1, s24); // -1 is white at 24 bits
    EXPECT_EQ(Pixels(d24), (std::vector<uint32_t> { 0x123456, 0x777777, 0x000001 }));

    TDIBSurface s32, d32;
    s32.Resize(2, 1, 32);
    Fill(s32, { 0xFFFFFFFF, 5 });
    d32.Resize(2, 1, 32);
    d32.BlitKeyed(0, 0, s32.FullRect(), -1, s32); // a negative key matches nothing
    EXPECT_EQ(Pixels(d32), (std::vector<uint32_t> { 0xFFFFFFFF, 5 }));
    d32.FillValue(d32.FullRect(), 0);
    d32.BlitKeyed(0, 0, s32.FullRect(), 5, s32);
    EXPECT_EQ(Pixels(d32), (std::vector<uint32_t> { 0xFFFFFFFF, 0 }));

    TDIBSurface s16, d16;
    s16.Resize(2, 1, 16);
    Fill(s16, { 0xFFFF, 3 });
    d16.Resize(2, 1, 16);
    d16.BlitKeyed(0, 0, s16.FullRect(), 3, s16);
    EXPECT_EQ(Pixels(d16), (std::vector<uint32_t> { 0xFFFF, 0 }));
}

TEST(SurfaceBlit, TranslucentRules)
{
    std::mt19937 rng(7);
    TDIBSurface src, a, b;
    src.Resize(9, 5, 24);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 9; ++x)
            src.SetPixel(x, y, rng() & 0xFFFFFF);
    src.SetPixel(3, 3, 0x102030);
    a.Resize(9, 5, 24);
    b.Resize(9, 5, 24);
    a.FillValue(a.FullRect(), 0xABCDEF);
    b.FillValue(b.FullRect(), 0xABCDEF);
    // Opacity 255 at 24 bits is exactly the keyed transfer.
    a.BlitTranslucent(0, 0, src.FullRect(), 255, 0x102030, src);
    b.BlitKeyed(0, 0, src.FullRect(), 0x102030, src);
    EXPECT_EQ(Pixels(a), Pixels(b));
    EXPECT_EQ(a.Pixel(3, 3), 0xABCDEFu);
    // Opacity 0 draws nothing.
    std::vector<uint32_t> before = Pixels(a);
    a.BlitTranslucent(0, 0, src.FullRect(), 0, -1, src);
    EXPECT_EQ(Pixels(a), before);

    // 24 bits, worked by hand: (255 - 100) x 200 + 100 x 10 = 32000, div 255 = 125.
    TDIBSurface s1, d1;
    s1.Resize(2, 1, 24);
    d1.Resize(2, 1, 24);
    Fill(s1, { 0x0A0A0A, 0x00FF00 });
    Fill(d1, { 0xC8C8C8, 0x000000 });
    d1.BlitTranslucent(0, 0, s1.FullRect(), 100, -1, s1);
    EXPECT_EQ(Pixels(d1), (std::vector<uint32_t> { 0x7D7D7D, 0x006400 }));
    d1.BlitTranslucent(0, 0, s1.FullRect(), 100, 0x00FF00, s1); // the keyed pixel stays
    EXPECT_EQ(d1.Pixel(1, 0), 0x006400u);

    // 32 bits divide by 256 and clear the fourth byte: (155 x 200 + 100 x 10) >> 8 = 125.
    TDIBSurface s2, d2;
    s2.Resize(1, 1, 32);
    d2.Resize(1, 1, 32);
    Fill(s2, { 0xFF0A0A0A });
    Fill(d2, { 0xEEC8C8C8 });
    d2.BlitTranslucent(0, 0, s2.FullRect(), 100, -1, s2);
    EXPECT_EQ(d2.Pixel(0, 0), 0x007D7D7Du);

    // 16 bits per channel mask: red 0xF800 x 155 + 0 ... div 255, kept in the mask.
    TDIBSurface s3, d3;
    s3.Resize(1, 1, 16);
    d3.Resize(1, 1, 16);
    Fill(s3, { 0x001F });
    Fill(d3, { 0xF800 });
    d3.BlitTranslucent(0, 0, s3.FullRect(), 100, -1, s3);
    // red: 0xF800 and (155 x 0xF800 div 255) = 0x9000; blue: 100 x 31 div 255 = 12.
    EXPECT_EQ(d3.Pixel(0, 0), 0x9000u | 12u);

    // Opacity 16 on 8 bits: level 1, cells (0,0) and (2,2) of every 4 x 4 block.
    TDIBSurface s8, d8;
    s8.Resize(8, 8, 8);
    d8.Resize(8, 8, 8);
    s8.FillValue(s8.FullRect(), 5);
    d8.BlitTranslucent(0, 0, s8.FullRect(), 16, -1, s8);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            bool cell = (x % 4 == 0 && y % 4 == 0) || (x % 4 == 2 && y % 4 == 2);
            EXPECT_EQ(d8.Pixel(x, y), cell ? 5u : 0u) << x << "," << y;
        }
    // Dither cells follow destination coordinates; level 15 is the keyed transfer.
    d8.FillValue(d8.FullRect(), 0);
    d8.BlitTranslucent(1, 0, Rect(0, 0, 4, 1), 1, -1, s8); // level 0: cell (0, 0) only
    EXPECT_EQ(d8.Pixel(4, 0), 5u);
    EXPECT_EQ(d8.Pixel(1, 0), 0u);
    d8.FillValue(d8.FullRect(), 0);
    d8.BlitTranslucent(0, 0, s8.FullRect(), 240, 5, s8);
    EXPECT_EQ(d8.Pixel(1, 1), 0u); // keyed: the key matches every pixel
    d8.BlitTranslucent(0, 0, s8.FullRect(), 240, 4, s8);
    EXPECT_EQ(Pixels(d8), std::vector<uint32_t>(64, 5));
    // Level 14 leaves exactly one cell of sixteen: (3, 0).
    d8.FillValue(d8.FullRect(), 0);
    d8.BlitTranslucent(0, 0, Rect(0, 0, 4, 4), 239, -1, s8);
    int written = 0;
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            written += d8.Pixel(x, y) == 5;
    EXPECT_EQ(written, 15);
    EXPECT_EQ(d8.Pixel(0, 3), 0u);
}

TEST(SurfaceBlit, AlphaRules)
{
    TDIBSurface s8, d8;
    s8.Resize(3, 1, 8);
    Fill(s8, { 7, 7, 7 });
    s8.NeedMask();
    Fill(*s8.Mask(), { 128, 127, 255 });
    d8.Resize(3, 1, 8);
    d8.BlitAlpha(0, 0, s8.FullRect(), s8);
    EXPECT_EQ(Pixels(d8), (std::vector<uint32_t> { 7, 0, 7 }));

    TDIBSurface s32, d32;
    s32.Resize(3, 1, 32);
    Fill(s32, { 0xFF0A0A0A, 0xFF0A0A0A, 0x990A0A0A });
    s32.NeedMask();
    Fill(*s32.Mask(), { 100, 0, 255 });
    d32.Resize(3, 1, 32);
    Fill(d32, { 0xEEC8C8C8, 0xEEC8C8C8, 0xEEC8C8C8 });
    d32.BlitAlpha(0, 0, s32.FullRect(), s32);
    EXPECT_EQ(Pixels(d32), (std::vector<uint32_t> { 0x007D7D7D, 0xEEC8C8C8, 0x990A0A0A }));

    TDIBSurface s16, d16;
    s16.Resize(1, 1, 15);
    Fill(s16, { 0x001F });
    s16.NeedMask();
    Fill(*s16.Mask(), { 100 });
    d16.Resize(1, 1, 15);
    Fill(d16, { 0x7C00 });
    d16.BlitAlpha(0, 0, s16.FullRect(), s16);
    // red: 0x7C00 and ((155 x 0x7C00) shr 8) = 0x4800; blue: (100 x 31) shr 8 = 12.
    EXPECT_EQ(d16.Pixel(0, 0), 0x4800u | 12u);

    TDIBSurface s24, d24;
    s24.Resize(1, 1, 24);
    Fill(s24, { 0x0A0A0A });
    s24.NeedMask();
    Fill(*s24.Mask(), { 100 });
    d24.Resize(1, 1, 24);
    Fill(d24, { 0xC8C8C8 });
    d24.BlitAlpha(0, 0, s24.FullRect(), s24);
    EXPECT_EQ(d24.Pixel(0, 0), 0x7D7D7Du);
}

// The SIMD paths against the plain loops on random rows of odd widths and offsets.
TEST(SurfaceBlit, FastPathsMatchThePlainLoops)
{
    std::mt19937 rng(1234);
    auto randomize = [&](TDIBSurface& s) {
        for (size_t i = 0; i < s.ImageSize(); ++i)
            s.Bits()[i] = static_cast<uint8_t>(rng());
    };
    for (int depth : { 8, 24, 32 }) {
        for (int round = 0; round < 40; ++round) {
            int32_t w = 1 + static_cast<int32_t>(rng() % 37), h = 1 + static_cast<int32_t>(rng() % 5);
            TDIBSurface src, base;
            src.Resize(w, h, depth);
            randomize(src);
            src.NeedMask();
            randomize(*src.Mask());
            // Mask runs of 0 and 255 exercise the whole-vector shortcuts.
            for (int32_t x = 0; x < w; ++x)
                if (x % 9 < 4)
                    src.Mask()->SetPixel(x, 0, x % 2 ? 255 : 0);
            base.Resize(w + 3, h, depth);
            randomize(base);
            int32_t opacity = static_cast<int32_t>(rng() % 256);
            int32_t key = (round % 3 == 0) ? static_cast<int32_t>(src.Pixel(0, 0)) : -1;
            int32_t dx = static_cast<int32_t>(rng() % 3);
            for (int op = 0; op < 2; ++op) {
                TDIBSurface fast, plain;
                fast.AssignSurface(base);
                plain.AssignSurface(base);
                SetSurfaceSimd(true);
                if (op == 0)
                    fast.BlitTranslucent(dx, 0, src.FullRect(), opacity, key, src);
                else
                    fast.BlitAlpha(dx, 0, src.FullRect(), src);
                SetSurfaceSimd(false);
                if (op == 0)
                    plain.BlitTranslucent(dx, 0, src.FullRect(), opacity, key, src);
                else
                    plain.BlitAlpha(dx, 0, src.FullRect(), src);
                SetSurfaceSimd(true);
                ASSERT_EQ(0, std::memcmp(fast.Bits(), plain.Bits(), fast.ImageSize())) << depth << " op " << op << " w " << w;
            }
        }
    }
}

// The 24-bit division by 255 of the fast path against plain division, for every possible sum.
TEST(SurfaceBlit, DivisionBy255IsExact)
{
    TDIBSurface src, dst, ref;
    src.Resize(256, 256, 24);
    dst.Resize(256, 256, 24);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x)
            src.SetPixel(x, y, static_cast<uint32_t>(x * 0x010101)), dst.SetPixel(x, y, static_cast<uint32_t>(y * 0x010101));
    for (int32_t o : { 1, 77, 128, 200, 254 }) {
        ref.AssignSurface(dst);
        ref.BlitTranslucent(0, 0, src.FullRect(), o, -1, src);
        for (int32_t y = 0; y < 256; y += 5)
            for (int32_t x = 0; x < 256; ++x)
                ASSERT_EQ(ref.Pixel(x, y) & 0xFF, static_cast<uint32_t>(((255 - o) * y + o * x) / 255)) << o;
    }
}

} // namespace
