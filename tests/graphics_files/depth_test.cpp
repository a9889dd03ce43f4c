// Depth conversion, the unused-index search, bitmaps with alpha, and the
// Gale reader's conversion of frames.
#include <cmath>

#include "file_builders.h"
#include "graphics/bmp_file.h"
#include "graphics/gale.h"
#include "graphics/gale_writer.h"
#include "graphics/image_files.h"
#include "support/test_support.h"

using namespace tarn;
using namespace tarn::test;

namespace {

TEST(FindUnusedIndex, PerDepth)
{
    TDIBSurface s;
    s.Resize(5, 2, 8);
    for (int32_t i = 0; i < 10; ++i)
        s.SetPixel(i % 5, i / 5, static_cast<uint32_t>(i));
    EXPECT_EQ(s.FindUnusedIndex(), 10);
    s.Resize(16, 16, 8);
    for (int32_t i = 0; i < 256; ++i)
        s.SetPixel(i % 16, i / 16, static_cast<uint32_t>(i));
    EXPECT_EQ(s.FindUnusedIndex(), -1);

    // At 4 bits the padding nibble of an odd row is no pixel.
    s.Resize(1, 1, 4);
    s.RowAddress(0)[0] = 0x10;
    EXPECT_EQ(s.FindUnusedIndex(), 0);
    s.Resize(16, 1, 4);
    for (int32_t i = 0; i < 16; ++i)
        s.SetPixel(i, 0, static_cast<uint32_t>(15 - i));
    EXPECT_EQ(s.FindUnusedIndex(), -1);
    s.SetPixel(3, 0, 0);
    EXPECT_EQ(s.FindUnusedIndex(), 12);

    // At 1 bit only a picture of one value leaves the other free.
    s.Resize(3, 2, 1);
    EXPECT_EQ(s.FindUnusedIndex(), 1);
    s.FillValue(s.FullRect(), 1);
    EXPECT_EQ(s.FindUnusedIndex(), 0);
    s.SetPixel(2, 1, 0);
    EXPECT_EQ(s.FindUnusedIndex(), -1);
    s.Resize(1, 1, 24);
    EXPECT_EQ(s.FindUnusedIndex(), -1);
}

TEST(ConvertDepth, ExactPackingAboveEightBits)
{
    TDIBSurface s;
    s.Resize(2, 1, 24);
    s.SetPixel(0, 0, 0xFF8408);
    s.SetPixel(1, 0, 0x123456);
    s.NeedMask();
    s.Mask()->SetPixel(1, 0, 77);
    s.ConvertDepth(16, 0, 1);
    EXPECT_EQ(s.EffectiveDepth(), 16);
    EXPECT_EQ(s.Pixel(0, 0), 0xFC21u); // 31, 33, 1
    EXPECT_EQ(s.Mask()->Pixel(1, 0), 77u); // the mask stays
    s.ConvertDepth(32, 0, 1);
    EXPECT_EQ(s.Pixel(0, 0), 0xFFFF8608u); // channels widened, fourth byte 0xFF
    s.ConvertDepth(15, 0, 0);
    EXPECT_EQ(s.EffectiveDepth(), 15);
    EXPECT_EQ(s.Pixel(0, 0), 0x7E01u);

    // From a palette: the colours of the entries.
    s.Resize(2, 1, 4);
    s.ColorTable[5] = { 1, 2, 3, 0 };
    s.ApplyColorTable();
    s.SetPixel(1, 0, 5);
    s.ConvertDepth(24, 0, 1);
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 0, 0x030201 }));
    EXPECT_THROW(s.ConvertDepth(12, 0, 1), EGraphicError);
}

TEST(ConvertDepth, FewColoursKeepTheirExactColours)
{
    TDIBSurface s;
    s.Resize(20, 3, 24);
    const uint32_t colors[] = { 0x000000, 0x010101, 0xFF00FF, 0x808080 }; // two nearly equal
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 20; ++x)
            s.SetPixel(x, y, colors[(x + y) % 4]);
    std::vector<TColor> before;
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 20; ++x)
            before.push_back(s.Canvas().Pixel(x, y));
    for (int32_t depth : { 8, 4 }) {
        TDIBSurface t;
        t.AssignSurface(s);
        t.ConvertDepth(depth, 0, 1);
        ASSERT_EQ(t.BitDepth(), depth);
        std::vector<TColor> after;
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 20; ++x)
                after.push_back(t.Canvas().Pixel(x, y));
        EXPECT_EQ(after, before) << depth;
    }
    // Two colours out of three go through sixteen: black and white stay apart.
    s.Resize(3, 1, 24);
    s.SetPixel(0, 0, 0x000000), s.SetPixel(1, 0, 0xFFFFFF), s.SetPixel(2, 0, 0x202020);
    s.ConvertDepth(1, 0, 0);
    EXPECT_EQ(s.BitDepth(), 1);
    EXPECT_NE(s.Pixel(0, 0), s.Pixel(1, 0));
    EXPECT_EQ(s.Pixel(0, 0), s.Pixel(2, 0));
}

// Mean of the absolute channel differences between two pictures.
double MeanError(const TDIBSurface& a, const TDIBSurface& b)
{
    double sum = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x) {
            TColor p = const_cast<TDIBSurface&>(a).Canvas().Pixel(x, y), q = const_cast<TDIBSurface&>(b).Canvas().Pixel(x, y);
            sum += std::abs(GetRValue(p) - GetRValue(q)) + std::abs(GetGValue(p) - GetGValue(q)) + std::abs(GetBValue(p) - GetBValue(q));
        }
    return sum / (3.0 * a.Width() * a.Height());
}

TEST(ConvertDepth, ReducesManyColoursCloselyAndDithers)
{
    // A smooth picture of 4096 colours.
    TDIBSurface s;
    s.Resize(64, 64, 24);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            s.SetPixel(x, y, static_cast<uint32_t>(x * 4) << 16 | static_cast<uint32_t>(y * 4) << 8 | static_cast<uint32_t>((x + y) * 2));
    TDIBSurface plain, dithered, fixed;
    plain.AssignSurface(s), dithered.AssignSurface(s), fixed.AssignSurface(s);
    plain.ConvertDepth(8, 0, 0);
    dithered.ConvertDepth(8, 0, 1);
    fixed.ConvertDepth(8, 1, 0);
    EXPECT_LT(MeanError(s, plain), 5.0); // 3.5 as built, 13 with the fixed palette
    EXPECT_LT(MeanError(s, dithered), 6.0);
    EXPECT_LT(MeanError(s, plain), MeanError(s, fixed)); // the chosen palette beats the fixed one
    EXPECT_EQ(fixed.ColorTable[255], (TRGBQuad { 255, 255, 255, 0 }));

    // Dithering keeps the average of a flat grey between black and white
    // (from 4 bits, so that the grey is not reduced to sixteen colours first).
    s.Resize(64, 64, 4);
    s.ColorTable[0] = { 0x50, 0x50, 0x50, 0 };
    s.ApplyColorTable();
    s.FillValue(s.FullRect(), 0);
    TDIBSurface bw;
    bw.AssignSurface(s);
    bw.ConvertDepth(1, 1, 1);
    int32_t white = 0;
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            white += static_cast<int32_t>(bw.Pixel(x, y));
    EXPECT_NEAR(white / 4096.0, 0x50 / 255.0, 0.02);
    bw.AssignSurface(s);
    bw.ConvertDepth(1, 1, 0); // without dithering every pixel takes the nearer one
    EXPECT_EQ(bw.FindUnusedIndex(), 1);
}

TEST(ConvertDepth, GaleFramesConvertWhenAsked)
{
    TDIBSurface picture;
    picture.Resize(4, 2, 24);
    picture.SetPixel(1, 1, 0xFF0000);
    TGaleWriterOptions o;
    std::string gale = WriteGale({ TGaleWriterFrame::OfSurface(picture) }, o);
    TGaleFrameList list(0);
    list.ConvertBitCount = 8;
    list.LoadFromBytes(gale, false);
    const TDIBSurface& frame = list.Frames(0).Surface;
    EXPECT_EQ(frame.BitDepth(), 8);
    EXPECT_EQ(const_cast<TDIBSurface&>(frame).Canvas().Pixel(1, 1), RGBColor(255, 0, 0));
    list.ConvertBitCount = 16;
    list.LoadFromBytes(gale, false);
    EXPECT_EQ(list.Frames(0).Surface.Pixel(1, 1), 0xF800u);
    list.ConvertBitCount = 7;
    EXPECT_THROW(list.LoadFromBytes(gale, false), EGraphicError);
}

TEST(BitmapAlpha, KeepAlphaAndAlphaSource)
{
    // A plain 32-bit bitmap: the fourth byte is the mask, as it is.
    std::string bmp = "BM" + Le32(14 + 40 + 8) + Le32(0) + Le32(54) + InfoHeader(2, 1, 32) + Bytes({ 1, 2, 3, 0x10, 4, 5, 6, 0xF0 });
    TDIBSurface s;
    TLoadResults r;
    DecodeBitmapAlpha(bmp, s, r, true);
    EXPECT_EQ(s.BitDepth(), 24);
    EXPECT_TRUE(r.HasAlphaMask);
    EXPECT_EQ(r.FileBits, 32);
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 0x030201, 0x060504 }));
    EXPECT_EQ(MaskOf(s), (std::vector<uint32_t> { 0x10, 0xF0 }));
    DecodeBitmapAlpha(bmp, s, r, false);
    EXPECT_EQ(Pixels(s), (std::vector<uint32_t> { 0x10030201, 0xF0060504 }));
    EXPECT_FALSE(s.HasMask());

    // Saving with an alpha source writes its bytes unchanged as fourth bytes.
    TDIBSurface pal, alpha;
    pal.Resize(2, 1, 8);
    pal.ColorTable[1] = { 10, 20, 30, 0 };
    pal.ApplyColorTable();
    pal.SetPixel(1, 0, 1);
    alpha.Resize(2, 1, 8);
    alpha.SetPixel(0, 0, 3);
    alpha.SetPixel(1, 0, 250);
    std::string out = EncodeBitmapAlpha(pal, alpha);
    EXPECT_EQ(ToHex(out.substr(28, 6)), "20 00 00 00 00 00"); // 32 bits, plain
    EXPECT_EQ(ToHex(out.substr(54)), "00 00 00 03 0a 14 1e fa");
    EXPECT_EQ(EncodeImageFile(TImageFileKind::Bitmap, pal, -1, {}, false, false, &alpha), out);
}

TEST(ImageFiles, ByExtension)
{
    EXPECT_EQ(ImageFileKindOf("C:\\a\\b.TGA"), TImageFileKind::Tga);
    EXPECT_EQ(ImageFileKindOf("b.Ico"), TImageFileKind::Icon);
    EXPECT_EQ(ImageFileKindOf("b.cur"), TImageFileKind::Cursor);
    EXPECT_EQ(ImageFileKindOf("b.png"), TImageFileKind::Png);
    EXPECT_EQ(ImageFileKindOf("b.dib"), TImageFileKind::Bitmap);
    EXPECT_EQ(ImageFileKindOf("c.tga\\b"), TImageFileKind::Bitmap);

    TempDir dir;
    TDIBSurface s, back;
    s.Resize(3, 2, 24);
    s.SetPixel(2, 1, 0xABCDEF);
    s.SaveFileEx(dir / "x.cur", 0xABCDEF, TPoint { 2, 1 }, false, false, nullptr);
    int32_t key = RGBColor(1, 2, 3);
    TLoadResults r;
    back.LoadFileEx(dir / "x.cur", key, r, false, false);
    EXPECT_EQ(r.HotSpot, (TPoint { 2, 1 }));
    EXPECT_EQ(key, 0x010203);
    EXPECT_EQ(back.Pixel(2, 1), 0x010203u);
    s.SaveFileEx(dir / "x.tga", 0xABCDEF, TPoint {}, false, true, nullptr);
    back.LoadFileEx(dir / "x.tga", key, r, false, false);
    EXPECT_TRUE(r.IsRunLength);
    EXPECT_EQ(key, 0xABCDEF);
    EXPECT_EQ(Pixels(back), Pixels(s));
    // A refused save leaves an existing file as it was.
    std::string before = ReadFile(dir / "x.tga");
    TDIBSurface wrongSize;
    wrongSize.Resize(1, 1, 8);
    EXPECT_THROW(s.SaveFileEx(dir / "x.tga", -1, TPoint {}, false, false, &wrongSize), EGraphicError);
    EXPECT_EQ(ReadFile(dir / "x.tga"), before);
    back.LoadFile(dir / "x.tga");
    EXPECT_EQ(Pixels(back), Pixels(s));
}

} // namespace
