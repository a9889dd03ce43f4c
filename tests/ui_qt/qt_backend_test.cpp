#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "base/codepage.h"
#include "platform/platform.h"
#include "support/qt_support.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/message_dialog.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::ClickThroughWindow;
using tarn::test::OffscreenQt;
using tarn::test::S;

namespace {

// Runs fn once the modal loop is waiting.
void Later(int ms, std::function<void()> fn) { QTimer::singleShot(ms, [fn] { fn(); }); }

struct Dialog : Form {
    Dialog() : Form("Dialog")
    {
        SetCaption(S(u8"テスト"));
        SetClientSize(200, 100);
        SetFont({ S(u8"ＭＳ Ｐゴシック"), 12, clBlack });
        ok.SetBounds(10, 60, 75, 25);
        ok.SetCaption("OK");
        ok.ModalResult = mrOk;
        label.SetBounds(0, 0, 200, 20);
        label.SetAutoSize(false);
        label.SetColor(clBlack);
        label.SetFont({ S(u8"ＭＳ Ｐゴシック"), 12, clWhite });
        label.SetCaption(S(u8"ゲーム "));
        label.SetAlignment(Alignment::Right);
    }
    Button& ok = Add<Button>("ok");
    Label& label = Add<Label>("label");
};

TEST(QtBackend, TheJapaneseGothicIsInstalled)
{
    OffscreenQt();
    QFont f(QString::fromStdString(QtBackend::FamilyFor(S(u8"ＭＳ Ｐゴシック"))));
    EXPECT_EQ(QtBackend::FamilyFor(S(u8"ＭＳ Ｐゴシック")), "IPAPGothic");
    EXPECT_TRUE(QFontInfo(f).exactMatch()) << "fonts-ipafont-gothic is missing";
}

TEST(QtBackend, AClickThroughTheWindowEndsTheModalLoop)
{
    OffscreenQt();
    Dialog d;
    Later(50, [&] { ClickThroughWindow(d, d.ok); });
    EXPECT_EQ(d.ShowModal(), mrOk);
    EXPECT_FALSE(OffscreenQt().WindowOf(d));
}

TEST(QtBackend, ModalityHoldsForClicksAtWindowLevel)
{
    OffscreenQt();
    Dialog behind;
    int behindClicks = 0;
    behind.ok.ModalResult = 0;
    behind.ok.OnClick = [&](Control&) { ++behindClicks; };
    behind.Show();
    Dialog front;
    Later(50, [&] { ClickThroughWindow(behind, behind.ok); });
    Later(100, [&] { ClickThroughWindow(front, front.ok); });
    EXPECT_EQ(front.ShowModal(), mrOk);
    EXPECT_EQ(behindClicks, 0);
    // With the modal form gone the same click arrives.
    ClickThroughWindow(behind, behind.ok);
    QCoreApplication::processEvents();
    EXPECT_EQ(behindClicks, 1);
    behind.Hide();
}

TEST(QtBackend, CloseBoxAsksTheCloseQuery)
{
    OffscreenQt();
    Dialog d;
    int asked = 0;
    d.OnCloseQuery = [&] { return ++asked == 2; };
    Later(50, [&] { OffscreenQt().WindowOf(d)->close(); });
    Later(100, [&] { OffscreenQt().WindowOf(d)->close(); });
    EXPECT_EQ(d.ShowModal(), mrCancel);
    EXPECT_EQ(asked, 2);
}

TEST(QtBackend, WindowsShowTheModel)
{
    OffscreenQt();
    Dialog d;
    d.Show();
    QWidget* window = OffscreenQt().WindowOf(d);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("テスト"));
    EXPECT_EQ(window->size(), QSize(200, 100));
    // Centred on the desktop.
    EXPECT_EQ(window->x(), (OffscreenQt().DesktopWidth() - 200) / 2);
    d.ok.SetCaption(S(u8"閉じる(&C)"));
    d.ok.SetEnabled(false);
    EXPECT_FALSE(OffscreenQt().WidgetOf(d.ok)->isEnabled());
    QImage shot = window->grab().toImage();
    // The label's black background at its top right, left of the right-aligned text's blank.
    EXPECT_EQ(QColor(shot.pixel(198, 2)), QColor(0, 0, 0));
    std::string png = platform::DisplayPath(platform::TempDirectory() + "shot.png");
    EXPECT_TRUE(OffscreenQt().Grab(d, png));
    EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());
    d.Hide();
}

TEST(QtBackend, MessageBoxesAreFormsToo)
{
    OffscreenQt();
    Later(50, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == QString::fromUtf8("確認"))
                for (QObject* child : w->children())
                    if (auto* b = qobject_cast<QWidget*>(child); b && b->property("text").toString() == QString::fromUtf8("いいえ(&N)"))
                        QTest::mouseClick(w->windowHandle(), Qt::LeftButton, Qt::NoModifier, b->geometry().center());
    });
    EXPECT_EQ(MessageDlg(S(u8"中断しますか？"), MsgType::Confirmation, mbYes | mbNo), mrNo);
}

} // namespace
