#include "app/form_main.h"
#include "app/title_image.h"
#include "app_fixture.h"
#include "base/codepage.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::DiscSpec;
using tarn::test::S;
using tarn::test::TempDir;
using tarn::test::TitlePixel;

namespace {

// A disc whose archive holds a title picture of the given size, and the state
// start-up would hand to the windows.
struct Disc {
    explicit Disc(DiscSpec discSpec)
    {
        test::MakeDisc(dir.Path(), discSpec);
        test::LoadDiscState(state, dir.Path());
    }
    TempDir dir;
    TProgramState state;
};

DiscSpec DiscWith(int layout, int w, int h)
{
    DiscSpec s;
    s.ImageLayout = static_cast<uint8_t>(layout);
    s.ImageWidth = w;
    s.ImageHeight = h;
    return s;
}

// What a paint box of w x h shows over a background of 0xFFFFFF.
std::unique_ptr<TDIBSurface> Shown(const PaintBox& box)
{
    auto s = std::make_unique<TDIBSurface>();
    s->Resize(box.Width(), box.Height(), 24);
    s->FillValue(s->FullRect(), 0xFFFFFF);
    box.PaintTo(*s);
    return s;
}

class TitleImage : public ::testing::Test {
protected:
    void SetUp() override { test::FreshNullBackend(); }
    Form form{ "F" };
    PaintBox& box = form.Add<PaintBox>("PaintBox");
};

TEST_F(TitleImage, CentredLargerThanTheBoxIsCutOnAllSides)
{
    Disc disc(DiscWith(0, 120, 90));
    box.SetBounds(0, 0, 100, 60);
    DrawTitleImage(box, disc.state.InstallSet, *disc.state.GameArchive);
    EXPECT_TRUE(box.Center());
    EXPECT_FALSE(box.Stretch());
    EXPECT_EQ(box.Bitmap().BitDepth(), 24);
    auto shown = Shown(box);
    // Placed at ((100-120) div 2, (60-90) div 2) = (-10, -15).
    EXPECT_EQ(shown->Pixel(0, 0), TitlePixel(10, 15));
    EXPECT_EQ(shown->Pixel(99, 59), TitlePixel(109, 74));
}

TEST_F(TitleImage, StretchedToTheBox)
{
    Disc disc(DiscWith(1, 10, 10));
    box.SetBounds(0, 0, 40, 20);
    DrawTitleImage(box, disc.state.InstallSet, *disc.state.GameArchive);
    EXPECT_TRUE(box.Stretch());
    auto shown = Shown(box);
    EXPECT_EQ(shown->Pixel(0, 0), TitlePixel(0, 0));
    EXPECT_EQ(shown->Pixel(39, 19), TitlePixel(9, 9));
    EXPECT_EQ(shown->Pixel(20, 10), TitlePixel(5, 5));
}

TEST_F(TitleImage, TiledRowsAndColumnsFillTheBackdropExactly)
{
    Disc disc(DiscWith(2, 100, 80));
    box.SetBounds(0, 0, 600, 400);
    DrawTitleImage(box, disc.state.InstallSet, *disc.state.GameArchive);
    const TDIBSurface& b = box.Bitmap();
    ASSERT_EQ(b.Width(), 600);
    ASSERT_EQ(b.Height(), 400);
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 6; ++col) {
            EXPECT_EQ(b.Pixel(col * 100, row * 80), TitlePixel(0, 0));
            EXPECT_EQ(b.Pixel(col * 100 + 99, row * 80 + 79), TitlePixel(99, 79));
        }
    // A tile cut at the box's edge.
    Disc odd(DiscWith(2, 70, 70));
    box.SetBounds(0, 0, 100, 100);
    DrawTitleImage(box, odd.state.InstallSet, *odd.state.GameArchive);
    EXPECT_EQ(box.Bitmap().Pixel(99, 99), TitlePixel(29, 29));
}

TEST_F(TitleImage, NothingToDraw)
{
    DiscSpec empty = DiscWith(0, 10, 10);
    empty.TitleImage.clear();
    Disc a(empty);
    box.SetBounds(0, 0, 50, 50);
    DrawTitleImage(box, a.state.InstallSet, *a.state.GameArchive);
    EXPECT_TRUE(box.Bitmap().Empty());
    Disc other(DiscWith(7, 10, 10)); // a layout with no meaning
    DrawTitleImage(box, other.state.InstallSet, *other.state.GameArchive);
    EXPECT_TRUE(box.Bitmap().Empty());
    for (int layout : { 0, 1, 2 }) { // a degenerate picture draws nothing and never loops
        Disc zero(DiscWith(layout, 0, 5));
        DrawTitleImage(box, zero.state.InstallSet, *zero.state.GameArchive);
        auto shown = Shown(box);
        EXPECT_EQ(shown->Pixel(0, 0), 0xFFFFFFu) << layout;
    }
}

TEST_F(TitleImage, TheSeedPutsPermutedRowsBack)
{
    DiscSpec discSpec = DiscWith(0, 8, 40);
    Disc disc(discSpec);
    disc.state.InstallSet.ImageSeed = discSpec.ImageSeed + 1; // a wrong seed scrambles the rows
    box.SetBounds(0, 0, 8, 40);
    DrawTitleImage(box, disc.state.InstallSet, *disc.state.GameArchive);
    int misplaced = 0;
    for (int y = 0; y < 40; ++y)
        misplaced += box.Bitmap().Pixel(0, y) != TitlePixel(0, y);
    EXPECT_GT(misplaced, 0);
    disc.state.InstallSet.ImageSeed = discSpec.ImageSeed;
    DrawTitleImage(box, disc.state.InstallSet, *disc.state.GameArchive);
    for (int y = 0; y < 40; ++y)
        EXPECT_EQ(box.Bitmap().Pixel(3, y), TitlePixel(3, y));
}

TEST_F(TitleImage, BackdropLayoutCaptionFooterAndGradient)
{
    DiscSpec discSpec = DiscWith(0, 100, 80);
    Disc disc(discSpec);
    TFormMain backdrop(disc.state);
    EXPECT_EQ(backdrop.ClientWidth(), 600);
    EXPECT_EQ(backdrop.ClientHeight(), 400);
    EXPECT_EQ(backdrop.Caption(), S(u8"サンプルゲームのセットアップ"));
    EXPECT_EQ(backdrop.LabelRight.Caption(), S(u8"(C) スタジオ "));
    EXPECT_EQ(backdrop.LabelRight.Left(), 0);
    EXPECT_EQ(backdrop.LabelRight.Top(), 380);
    EXPECT_EQ(backdrop.LabelRight.Width(), 600);
    EXPECT_EQ(backdrop.LabelRight.Height(), 12);
    EXPECT_EQ(backdrop.LabelRight.Alignment(), Alignment::Right);
    EXPECT_EQ(backdrop.PaintBox.Width(), 600);
    // The picture centred over the gradient: bands of three rows, blue to navy.
    TDIBSurface s;
    s.Resize(600, 400, 24);
    backdrop.GradBox.PaintTo(s);
    EXPECT_EQ(s.Pixel(0, 0), 0xFFu);
    EXPECT_EQ(s.Pixel(0, 3), 0xFEu);
    EXPECT_EQ(s.Pixel(0, 399), 0x80u);
    backdrop.PaintBox.PaintTo(s);
    EXPECT_EQ(s.Pixel(250, 160), TitlePixel(0, 0));
    EXPECT_EQ(s.Pixel(249, 160), 203u); // band 53 (rows 159..161): 255 + round(-127 x 53 / 129) = 203

    // The uninstaller has no archive: no picture, the removal caption.
    disc.state.GameArchive.reset();
    disc.state.InstallSet.Installed = 1;
    TFormMain removal(disc.state);
    EXPECT_EQ(removal.Caption(), S(u8"サンプルゲームの削除"));
    EXPECT_TRUE(removal.PaintBox.Bitmap().Empty());
}

} // namespace
