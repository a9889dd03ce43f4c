#include "graphics/grad_box.h"
#include "support/test_support.h"

using namespace tarn;

namespace {

TColor At(TDIBSurface& s, int32_t x, int32_t y) { return s.Canvas().Pixel(x, y); }

TEST(GradBox, RoundingHalvesToEven)
{
    EXPECT_EQ(RoundHalfEven(1, 2), 0);
    EXPECT_EQ(RoundHalfEven(3, 2), 2);
    EXPECT_EQ(RoundHalfEven(5, 2), 2);
    EXPECT_EQ(RoundHalfEven(-1, 2), 0);
    EXPECT_EQ(RoundHalfEven(-3, 2), -2);
    EXPECT_EQ(RoundHalfEven(-5, 2), -2);
    EXPECT_EQ(RoundHalfEven(10, 129), 0);
    EXPECT_EQ(RoundHalfEven(400, 129), 3);
    EXPECT_EQ(RoundHalfEven(-255 * 64, 129), -127); // -126.51 rounds away from the half
}

TEST(GradBox, BackdropBands)
{
    TDIBSurface s;
    s.Resize(600, 400, 24);
    TGradBox box;
    box.Width = 600, box.Height = 400;
    box.SetStartColor(clBlue);
    box.SetEndColor(clNavy);
    box.Paint(s.Canvas());
    // Bands of 3 rows: band i has blue 255 + Nearest(-127 i / 129).
    EXPECT_EQ(At(s, 0, 0), clBlue);
    EXPECT_EQ(At(s, 599, 2), clBlue);
    EXPECT_EQ(At(s, 0, 3), RGBColor(0, 0, 254)); // -127 / 129 = -0.98 -> -1
    EXPECT_EQ(At(s, 0, 3 * 64), RGBColor(0, 0, 255 - 63)); // -127 x 64 / 129 = -63.01
    EXPECT_EQ(At(s, 0, 389), clNavy);                       // band 129
    EXPECT_EQ(At(s, 0, 386), RGBColor(0, 0, 129));          // band 128: -126.02 -> -126
    EXPECT_EQ(At(s, 300, 399), clNavy);                     // the final fill
}

TEST(GradBox, StepZeroAndThinBoxes)
{
    TDIBSurface s;
    s.Resize(5, 12, 24);
    s.FillValue(s.FullRect(), 0x123456);
    TGradBox box;
    box.Left = 1, box.Top = 1, box.Width = 3, box.Height = 10;
    box.SetGradStep(0);
    box.SetStartColor(RGBColor(10, 20, 30));
    box.Paint(s.Canvas());
    // Two bands of Nearest(10 / 1) rows: the start colour fills the box, the end colour lies outside.
    for (int32_t y = 1; y <= 10; ++y)
        EXPECT_EQ(At(s, 2, y), RGBColor(10, 20, 30));
    EXPECT_EQ(s.Pixel(0, 5), 0x123456u); // the canvas cuts at the box
    EXPECT_EQ(s.Pixel(2, 11), 0x123456u);

    // 10 rows with 128 steps: bands of 1 row, the first ten steps of white to black.
    box.SetGradStep(128);
    box.SetStartColor(clWhite);
    box.SetEndColor(clBlack);
    box.Paint(s.Canvas());
    for (int32_t i = 0; i < 10; ++i) {
        uint32_t v = static_cast<uint32_t>(255 - RoundHalfEven(255 * i, 129));
        EXPECT_EQ(At(s, 1, 1 + i), RGBColor(v, v, v)) << i;
    }
    EXPECT_EQ(At(s, 2, 2), RGBColor(253, 253, 253)); // 255 / 129 = 1.98 -> 2

    // One step: Nearest(255 / 2) = 128 and Nearest(253 / 2) = 126, both to even.
    box.SetGradStep(1);
    box.Width = 2, box.Height = 4, box.Left = 0, box.Top = 0;
    box.SetStartColor(0);
    box.SetEndColor(RGBColor(255, 253, 0));
    box.Paint(s.Canvas());
    EXPECT_EQ(At(s, 0, 0), clBlack);
    EXPECT_EQ(At(s, 0, 2), RGBColor(128, 126, 0));
    EXPECT_EQ(At(s, 1, 3), RGBColor(128, 126, 0));
}

TEST(GradBox, HorizontalAndCentred)
{
    TDIBSurface s;
    s.Resize(140, 2, 24);
    TGradBox box;
    box.Width = 130, box.Height = 2;
    box.SetDirection(gdHorzCenter);
    box.SetStartColor(RGBColor(200, 0, 0));
    box.SetEndColor(RGBColor(70, 0, 0));
    s.FillValue(s.FullRect(), 0x0000FF);
    box.Paint(s.Canvas());
    // Column bands of Nearest(130 / 129) = 1: the start colour in band 64, the end in band 129.
    EXPECT_EQ(At(s, 64, 1), RGBColor(200, 0, 0));
    EXPECT_EQ(At(s, 129, 0), RGBColor(70, 0, 0));
    EXPECT_EQ(At(s, 0, 0), RGBColor(static_cast<uint32_t>(200 + RoundHalfEven(-130 * 64, 65)), 0, 0)); // d = 64: 72
    EXPECT_EQ(At(s, 0, 0), RGBColor(72, 0, 0));
    EXPECT_EQ(s.Pixel(135, 0), 0x0000FFu); // no final fill, and cut at the box

    box.SetDirection(gdHorizontal);
    box.Width = 140;
    box.SetGradStep(3); // bands of Nearest(140 / 4) = 35 columns, then no final fill needed
    box.Paint(s.Canvas());
    EXPECT_EQ(At(s, 34, 0), RGBColor(200, 0, 0));
    EXPECT_EQ(At(s, 35, 0), RGBColor(200 - 32, 0, 0)); // -130 / 4 = -32.5 -> -32
    EXPECT_EQ(At(s, 139, 1), RGBColor(200 - 98, 0, 0)); // -97.5 -> -98
}

TEST(GradBox, ChangeNotifications)
{
    TGradBox box;
    int changes = 0, repaints = 0;
    box.OnChange = [&](TGradBox* sender) { EXPECT_EQ(sender, &box); ++changes; };
    box.OnInvalidate = [&] { ++repaints; };
    box.SetDirection(gdVertical); // unchanged: nothing
    EXPECT_EQ(changes + repaints, 0);
    box.SetStartColor(clWhite); // unchanged colour: both
    box.SetGradStep(128);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(repaints, 2);
    box.SetDirection(gdHorizontal);
    box.SetColor(7, clRed);
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(box.EndColor(), clRed);
    EXPECT_EQ(box.Direction(), gdHorizontal);
}

} // namespace
