#include "support/test_support.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/grad_box.h"
#include "ui/null_backend.h"
#include "ui/paint_box.h"

using namespace tarn;
using namespace tarn::ui;

namespace {

uint32_t At(const TDIBSurface& s, int x, int y) { return s.Pixel(x, y); }
uint32_t Blue(int b) { return static_cast<uint32_t>(b); } // 24-bit pixel value: blue is the low byte

std::unique_ptr<TDIBSurface> Surface24(int w, int h, uint32_t fill)
{
    auto s = std::make_unique<TDIBSurface>();
    s->Resize(w, h, 24);
    s->FillValue(s->FullRect(), fill);
    return s;
}

TEST(GradientBoxControl, BackdropBandsOfThreeRowsAndTheFinalFill)
{
    Form f("Backdrop");
    f.SetClientSize(444, 283);
    GradientBox& g = f.Add<GradientBox>("GradBox");
    g.SetAlign(TAlign::alClient);
    g.Box.SetStartColor(clBlue);
    g.Box.SetEndColor(clNavy);
    f.SetClientSize(600, 400); // follows the form
    ASSERT_EQ(g.Width(), 600);
    ASSERT_EQ(g.Height(), 400);
    auto sp = Surface24(600, 400, 0x123456);
    TDIBSurface& s = *sp;
    g.PaintTo(s);
    EXPECT_EQ(At(s, 0, 0), Blue(255));
    EXPECT_EQ(At(s, 599, 2), Blue(255));
    EXPECT_EQ(At(s, 0, 3), Blue(254));   // 255 + round(-127/129) = 254
    EXPECT_EQ(At(s, 0, 192), Blue(192)); // band 64: 255 + round(-127*64/129 = -63.0...) = 192
    EXPECT_EQ(At(s, 0, 389), Blue(128)); // band 129 is the end colour
    for (int y = 390; y < 400; ++y)
        EXPECT_EQ(At(s, 300, y), Blue(128)) << y;
}

TEST(GradientBoxControl, SettersRepaintAndNotifyByTheirRules)
{
    Form f("F");
    GradientBox& g = f.Add<GradientBox>("g");
    EXPECT_EQ(g.Width(), 128);
    EXPECT_EQ(g.Box.StartColor(), clWhite);
    EXPECT_EQ(g.Box.EndColor(), clBlack);
    EXPECT_EQ(g.Box.GradStep(), 128);
    EXPECT_EQ(g.Box.Direction(), gdVertical);
    int repaints = 0, changes = 0;
    f.OnModelChanged = [&](Control* c) { repaints += c == &g; };
    g.OnChange = [&](Control& sender) { changes += &sender == &g; };
    g.Box.SetStartColor(clWhite); // unchanged: still repaints and tells
    g.Box.SetEndColor(clBlack);
    g.Box.SetGradStep(128);
    EXPECT_EQ(repaints, 3);
    EXPECT_EQ(changes, 3);
    g.Box.SetDirection(gdVertical); // unchanged: nothing
    EXPECT_EQ(repaints, 3);
    EXPECT_EQ(changes, 3);
    g.Box.SetDirection(gdHorizontal);
    EXPECT_EQ(repaints, 4);
    EXPECT_EQ(changes, 4);
}

TEST(PaintBox, CentredStretchedAndPlain)
{
    Form f("F");
    PaintBox& box = f.Add<PaintBox>("PaintBox");
    box.SetBounds(0, 0, 10, 6);
    // A 14 x 8 picture whose pixel value is x + 100 * y.
    box.Bitmap().Resize(14, 8, 24);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 14; ++x)
            box.Bitmap().SetPixel(x, y, static_cast<uint32_t>(x + 100 * y));
    auto sp = Surface24(10, 6, 0xABCDEF);
    TDIBSurface& s = *sp;
    box.PaintTo(s);
    EXPECT_EQ(At(s, 0, 0), 0u); // plain: at (0, 0), cut at the right and bottom
    EXPECT_EQ(At(s, 9, 5), 509u);
    box.SetCenter(true); // larger than the box: (10-14)/2 = -2, (6-8)/2 = -1, cut on all sides
    box.PaintTo(s);
    EXPECT_EQ(At(s, 0, 0), 102u);
    EXPECT_EQ(At(s, 9, 5), 611u);
    box.SetCenter(false);
    box.SetStretch(true);
    box.Bitmap().Resize(2, 2, 24);
    box.Bitmap().FillValue(Rect(0, 0, 1, 2), 1);
    box.Bitmap().FillValue(Rect(1, 0, 2, 2), 2);
    box.PaintTo(s);
    EXPECT_EQ(At(s, 0, 0), 1u);
    EXPECT_EQ(At(s, 4, 3), 1u);
    EXPECT_EQ(At(s, 5, 3), 2u);
    EXPECT_EQ(At(s, 9, 5), 2u);
    // An empty bitmap draws nothing.
    box.Bitmap().Resize(0, 0, 24);
    auto tp = Surface24(10, 6, 0xABCDEF);
    TDIBSurface& t = *tp;
    box.PaintTo(t);
    EXPECT_EQ(At(t, 5, 5), 0xABCDEFu);
}

} // namespace
