// The disc chooser in real Qt widgets (offscreen): the rows drawn in the
// list, a row chosen through the window system, and the window of none found.
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/form_discs.h"
#include "base/codepage.h"
#include "support/qt_support.h"
#include "support/test_support.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::ClickThroughWindow;
using tarn::test::OffscreenQt;
using tarn::test::S;

namespace {

std::vector<GameDisc> Discs()
{
    return { { "C:\\discs\\a1.iso", S(u8"あのゲーム"), 0, 2 }, { "C:\\discs\\a2", S(u8"あのゲーム"), 1, 2 }, { "C:\\b", S(u8"かのゲーム"), 0, 1 } };
}

QString Utf8(const AnsiString& s) { return QString::fromStdString(AnsiToHostUtf8(s)); }

// Dark pixels (text, frames) in the rectangle of a widget of the window.
int InkIn(const Form& form, const Control& control)
{
    QWidget* window = OffscreenQt().WindowOf(form);
    QWidget* widget = OffscreenQt().WidgetOf(control);
    QImage picture = window->grab().toImage();
    QRect r(widget->mapTo(window, QPoint(0, 0)), widget->size());
    int ink = 0;
    for (int y = r.top(); y <= r.bottom() && y < picture.height(); ++y)
        for (int x = r.left(); x <= r.right() && x < picture.width(); ++x)
            if (qGray(picture.pixel(x, y)) < 96)
                ++ink;
    return ink;
}

TEST(DiscChooserInQt, TheRowsAreDrawnAndOneIsChosenThroughTheWindow)
{
    OffscreenQt();
    TFormDiscs chooser(Discs());
    QTimer::singleShot(50, [&] {
        auto* list = static_cast<QListWidget*>(OffscreenQt().WidgetOf(chooser.Discs));
        ASSERT_TRUE(list && list->isVisible());
        ASSERT_EQ(list->count(), 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(list->item(i)->text(), Utf8(GameDiscText(Discs()[static_cast<size_t>(i)])));
        EXPECT_TRUE(list->item(0)->text().startsWith(QString::fromUtf8("あのゲーム ― ディスク 1 / 2 ― ")));
        EXPECT_EQ(list->currentRow(), 0);
        // The rows are painted: text in the list's rectangle.
        EXPECT_GT(InkIn(chooser, chooser.Discs), 200);
        EXPECT_EQ(static_cast<QPushButton*>(OffscreenQt().WidgetOf(chooser.btnBrowse))->text(), QString::fromUtf8("参照..."));
        // The third row clicked, then 開始.
        QRect row = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        EXPECT_EQ(chooser.Discs.ItemIndex(), 2);
        ClickThroughWindow(chooser, chooser.btnStart);
    });
    EXPECT_EQ(chooser.ShowModal(), mrOk);
    EXPECT_EQ(chooser.Chosen, "C:\\b");
}

TEST(DiscChooserInQt, NoneFoundShowsOnlyBrowseAndExit)
{
    OffscreenQt();
    TFormDiscs chooser({});
    QTimer::singleShot(50, [&] {
        EXPECT_FALSE(OffscreenQt().WidgetOf(chooser.Discs)->isVisible());
        EXPECT_FALSE(OffscreenQt().WidgetOf(chooser.btnStart)->isVisible());
        EXPECT_TRUE(OffscreenQt().WidgetOf(chooser.btnBrowse)->isVisible());
        EXPECT_GT(InkIn(chooser, chooser.Message), 50); // the message is drawn
        ClickThroughWindow(chooser, chooser.btnExit);
    });
    EXPECT_EQ(chooser.ShowModal(), mrCancel);
    EXPECT_TRUE(chooser.Chosen.empty());
}

} // namespace
