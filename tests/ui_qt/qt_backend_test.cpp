// What only the Qt backend has: the font that stands in for the forms' own,
// and pictures of the windows. What every backend does is in the
// conformance cases.
#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QTimer>

#include <thread>

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

// A later start of the program asks from another thread (the single-instance
// guard's): the window being waited for comes in front of another program's.
TEST(QtBackend, ALaterStartBringsTheWindowWaitedForToTheFront)
{
    OffscreenQt();
    Form d("Waiting");
    d.SetCaption(S(u8"セットアップ"));
    d.SetClientSize(200, 100);
    QWidget other; // stands for another program's window
    other.resize(100, 100);
    bool before = true, after = false;
    QTimer::singleShot(50, [&] {
        other.show();
        other.activateWindow();
        QApplication::processEvents();
        before = QApplication::activeWindow() == OffscreenQt().WindowOf(d);
        std::thread([] { App().GetBackend().BringProgramToFront(); }).join();
    });
    QTimer::singleShot(300, [&] {
        after = QApplication::activeWindow() == OffscreenQt().WindowOf(d);
        d.SetModalResult(mrCancel);
    });
    d.ShowModal();
    EXPECT_FALSE(before) << "the other window did not come in front";
    EXPECT_TRUE(after);
}

// A display named but not there: the check says so before Qt would end the
// program; the offscreen platform needs none.
TEST(QtBackend, ADisplayThatDoesNotAnswerIsNotUsed)
{
    std::string qpa = platform::GetEnv("QT_QPA_PLATFORM"), display = platform::GetEnv("DISPLAY"), wayland = platform::GetEnv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("DISPLAY", ":9871", 1);
    std::string why;
    EXPECT_FALSE(QtBackend::DisplayUsable(why));
    EXPECT_EQ(why, "the display :9871 does not answer");
    ::setenv("DISPLAY", "nonsense", 1);
    EXPECT_FALSE(QtBackend::DisplayUsable(why));
    ::unsetenv("DISPLAY");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_TRUE(QtBackend::DisplayUsable(why));
    auto restore = [](const char* name, const std::string& value) {
        if (value.empty())
            ::unsetenv(name);
        else
            ::setenv(name, value.c_str(), 1);
    };
    restore("QT_QPA_PLATFORM", qpa);
    restore("DISPLAY", display);
    restore("WAYLAND_DISPLAY", wayland);
}

} // namespace
