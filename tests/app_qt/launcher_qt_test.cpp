// The launcher menu in real Qt widgets (offscreen), clicked through the window system.
#include <QTimer>

#include "../app/app_fixture.h"
#include "app/form_start.h"
#include "support/qt_support.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::ClickThroughWindow;
using tarn::test::OffscreenQt;

namespace {

TEST(LauncherInQt, InstallAndExitThroughTheWindow)
{
    OffscreenQt();
    test::TempDir disc;
    test::MakeDisc(disc.Path(), {});
    TProgramState state;
    test::LoadDiscState(state, disc.Path());

    TFormStart menu(state);
    QTimer::singleShot(50, [&] { ClickThroughWindow(menu, menu.btnStart); }); // disabled: nothing
    QTimer::singleShot(100, [&] { ClickThroughWindow(menu, menu.btnInstall); });
    EXPECT_EQ(menu.ShowModal(), mrOk);
    EXPECT_EQ(menu.MenuChoice, 1);

    TFormStart again(state);
    QTimer::singleShot(50, [&] {
        QWidget* window = OffscreenQt().WindowOf(again);
        // The layout the window shows: no setup programs on this disc.
        EXPECT_EQ(window->size(), QSize(265, 158));
        EXPECT_FALSE(OffscreenQt().WidgetOf(again.btnDirectX)->isVisible());
        EXPECT_EQ(OffscreenQt().WidgetOf(again.btnExit)->geometry().top(), 116);
        window->close(); // the close box is the exit button
    });
    EXPECT_EQ(again.ShowModal(), mrCancel);
}

} // namespace
