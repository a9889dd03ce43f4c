// The Qt backend for test programs: real widgets on the offscreen platform
// unless QT_QPA_PLATFORM says otherwise, and clicks sent through the window
// system so that modality holds as it does for a person.
#pragma once

#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include "ui/application.h"
#include "ui/qt/qt_backend.h"

namespace tarn::test {

// Installs the Qt backend as the application's backend on first use.
inline ui::QtBackend& OffscreenQt()
{
    static ui::QtBackend* backend = [] {
        if (qgetenv("QT_QPA_PLATFORM").isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        auto b = std::make_unique<ui::QtBackend>();
        ui::QtBackend* raw = b.get();
        ui::App().SetBackend(std::move(b));
        return raw;
    }();
    return *backend;
}

// A left click at the centre of a control, delivered to its window.
inline void ClickThroughWindow(const ui::Form& form, const ui::Control& control)
{
    QWidget* widget = OffscreenQt().WidgetOf(control);
    QWidget* window = OffscreenQt().WindowOf(form);
    ASSERT_TRUE(widget && window);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget->mapTo(window, widget->rect().center()));
}

} // namespace tarn::test
