// Choosing the windows of a program by name ("qt", "win32", "console", or ""
// for the natural choice: the system's windows where there is a display or a
// desktop, the console otherwise). Header-only, as a window backend is there
// only in programs built with TARN_HAS_QT or TARN_HAS_WIN32.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"
#include "ui/application.h"
#include "ui/console/console_backend.h"
#ifdef TARN_HAS_QT
#include "ui/qt/qt_backend.h"
#endif
#ifdef TARN_HAS_WIN32
#include "ui/win32/win32_backend.h"
#endif

namespace tarn::ui {

inline bool DisplayAvailable()
{
#if defined(_WIN32) && defined(TARN_HAS_WIN32)
    // A service or a session without a desktop has no visible window station.
    return Win32Backend::DesktopAvailable();
#elif defined(_WIN32)
    return false;
#else
    return !platform::GetEnv("DISPLAY").empty() || !platform::GetEnv("WAYLAND_DISPLAY").empty() ||
           !platform::GetEnv("QT_QPA_PLATFORM").empty();
#endif
}

// The names this program knows, for usage messages.
inline const char* BackendNames()
{
#if defined(TARN_HAS_WIN32)
    return "win32 or console";
#elif defined(TARN_HAS_QT)
    return "qt or console";
#elif defined(_WIN32)
    return "console (this build has no windows)";
#else
    return "console (this build has no Qt windows)";
#endif
}

// The lines of --help about --ui.
inline const char* BackendHelp()
{
#if defined(TARN_HAS_WIN32)
    return "  --ui=win32|console\n"
           "                   the windows: native ones (the default on a desktop) or\n"
           "                   text in the console, driven line by line from standard input\n";
#else
    return "  --ui=qt|console  the windows: Qt (the default with a display) or text in\n"
           "                   the terminal, driven line by line from standard input\n";
#endif
}

// Sets the application's backend; false for a name this program does not know.
// Windows that cannot open (a display that does not answer) give the console,
// with a line on standard error that says why.
inline bool UseBackend(std::string name)
{
#ifdef TARN_HAS_QT
    if (platform::GetEnv(QtBackend::kRestartedVariable) == "1") {
        ::unsetenv(QtBackend::kRestartedVariable);
        platform::WriteStderr("tarn-setup: the windows could not be opened; the console is used instead\n");
    }
#endif
    if (name.empty()) {
#ifdef _WIN32
        name = DisplayAvailable() ? "win32" : "console";
#else
        name = DisplayAvailable() ? "qt" : "console";
#endif
    }
#ifdef TARN_HAS_QT
    if (name == "qt") {
        std::string why;
        if (QtBackend::DisplayUsable(why)) {
            App().SetBackend(std::make_unique<QtBackend>());
            return true;
        }
        platform::WriteStderr("tarn-setup: " + why + "; the console is used instead\n");
        name = "console";
    }
#endif
#ifdef TARN_HAS_WIN32
    if (name == "win32") {
        App().SetBackend(std::make_unique<Win32Backend>());
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
