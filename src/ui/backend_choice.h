// Choosing the windows of a program by name ("qt", "console", or "" for the
// natural choice: Qt with a display, the console without). Header-only, as
// the Qt backend is there only in programs built with TARN_HAS_QT.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"
#include "ui/application.h"
#include "ui/console/console_backend.h"
#ifdef TARN_HAS_QT
#include "ui/qt/qt_backend.h"
#endif

namespace tarn::ui {

inline bool DisplayAvailable()
{
    return !platform::GetEnv("DISPLAY").empty() || !platform::GetEnv("WAYLAND_DISPLAY").empty() ||
           !platform::GetEnv("QT_QPA_PLATFORM").empty();
}

// The names this program knows, for usage messages.
inline const char* BackendNames()
{
#ifdef TARN_HAS_QT
    return "qt or console";
#else
    return "console (this build has no Qt windows)";
#endif
}

// Sets the application's backend; false for a name this program does not know.
inline bool UseBackend(std::string name)
{
    if (name.empty())
        name = DisplayAvailable() ? "qt" : "console";
#ifdef TARN_HAS_QT
    if (name == "qt") {
        App().SetBackend(std::make_unique<QtBackend>());
        return true;
    }
#endif
    if (name == "console") {
        App().SetBackend(std::make_unique<ConsoleBackend>());
        return true;
    }
    return false;
}

} // namespace tarn::ui
