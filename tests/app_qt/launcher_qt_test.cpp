// The launcher menu in real Qt widgets (offscreen), clicked through the window system.
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "../app/app_fixture.h"
#include "app/form_start.h"
#include "ui/qt/qt_backend.h"

using namespace tarn;
using namespace tarn::ui;

namespace {

QtBackend& Qt()
{
    static QtBackend* backend = [] {
        if (qgetenv("QT_QPA_PLATFORM").isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        auto b = std::make_unique<QtBackend>();
        QtBackend* raw = b.get();
        App().SetBackend(std::move(b));
        return raw;
    }();
    return *backend;
}

void ClickThroughWindow(const Form& form, const Control& control)
{
    QWidget* widget = Qt().WidgetOf(control);
    QWidget* window = Qt().WindowOf(form);
    ASSERT_TRUE(widget && window);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget->mapTo(window, widget->rect().center()));
}

TEST(LauncherInQt, InstallAndExitThroughTheWindow)
{
    Qt();
    test::TempDir disc;
    test::MakeDisc(disc.Path(), {});
    TProgramState state;
    state.ProgramDir = state.SourceDir = disc.Path();
    state.InstallSet.LoadFromFile(disc / "install.dat");
    state.GameArchive = std::make_unique<TVrFileCollection>();
    state.GameArchive->Open(disc / "game.dat");

    TFormStart menu(state);
    QTimer::singleShot(50, [&] { ClickThroughWindow(menu, menu.btnStart); }); // disabled: nothing
    QTimer::singleShot(100, [&] { ClickThroughWindow(menu, menu.btnInstall); });
    EXPECT_EQ(menu.ShowModal(), mrOk);
    EXPECT_EQ(menu.MenuChoice, 1);

    TFormStart again(state);
    QTimer::singleShot(50, [&] {
        QWidget* window = Qt().WindowOf(again);
        // The layout the window shows: no setup programs on this disc.
        EXPECT_EQ(window->size(), QSize(265, 158));
        EXPECT_FALSE(Qt().WidgetOf(again.btnDirectX)->isVisible());
        EXPECT_EQ(Qt().WidgetOf(again.btnExit)->geometry().top(), 116);
        window->close(); // the close box is the exit button
    });
    EXPECT_EQ(again.ShowModal(), mrCancel);
}

} // namespace
