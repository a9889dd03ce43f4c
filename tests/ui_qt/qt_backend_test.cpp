// What only the Qt backend has: the font that stands in for the forms' own,
// and pictures of the windows. What every backend does is in the
// conformance cases.
#include <QFontInfo>
#include <QImage>

#include "platform/platform.h"
#include "support/qt_support.h"
#include "support/test_support.h"
#include "ui/form.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::OffscreenQt;
using tarn::test::S;

namespace {

TEST(QtBackend, TheJapaneseGothicIsInstalled)
{
    OffscreenQt();
    QFont f(QString::fromStdString(QtBackend::FamilyFor(S(u8"ＭＳ Ｐゴシック"))));
    EXPECT_EQ(QtBackend::FamilyFor(S(u8"ＭＳ Ｐゴシック")), "IPAPGothic");
    EXPECT_TRUE(QFontInfo(f).exactMatch()) << "fonts-ipafont-gothic is missing";
}

TEST(QtBackend, PicturesOfAWindowShowItsColours)
{
    OffscreenQt();
    Form d("Dialog");
    d.SetCaption(S(u8"テスト"));
    d.SetClientSize(200, 100);
    Label& label = d.Add<Label>("label");
    label.SetBounds(0, 0, 200, 20);
    label.SetAutoSize(false);
    label.SetColor(clBlack);
    label.SetFont({ S(u8"ＭＳ Ｐゴシック"), 12, clWhite });
    label.SetCaption(S(u8"ゲーム "));
    label.SetAlignment(Alignment::Right);
    d.Show();
    QImage shot = OffscreenQt().WindowOf(d)->grab().toImage();
    // The label's black background at its top right, left of the right-aligned text's blank.
    EXPECT_EQ(QColor(shot.pixel(198, 2)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(shot.pixel(100, 50)), OffscreenQt().WindowOf(d)->palette().color(QPalette::Window));
    std::string png = platform::DisplayPath(platform::TempDirectory() + "shot.png");
    ASSERT_TRUE(OffscreenQt().Grab(d, png));
    QImage saved(QString::fromStdString(png));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), QSize(200, 100));
    EXPECT_EQ(QColor(saved.pixel(198, 2)), QColor(0, 0, 0));
    d.Hide();
    EXPECT_FALSE(OffscreenQt().Grab(d, png)); // not shown: no picture
}

} // namespace
