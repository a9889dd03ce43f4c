// The Win32 backend for test programs: one instance as the application's
// backend, timers that act from inside a modal loop, and input posted to the
// windows so that it arrives through the message loop as a person's would.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

// The project's headers before the system's: <windows.h> defines macros
// (GetRValue, ...) that the graphics layer has as functions.
#include "base/codepage.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/win32/win32_backend.h"

#include <windows.h>

#include <commctrl.h>

namespace tarn::test {

inline ui::Win32Backend& Win32()
{
    static ui::Win32Backend* backend = [] {
        auto b = std::make_unique<ui::Win32Backend>();
        ui::Win32Backend* raw = b.get();
        ui::App().SetBackend(std::move(b));
        return raw;
    }();
    return *backend;
}

// Windows need a desktop (under Wine, an X display such as Xvfb): without
// one the test is skipped, and under CI it fails.
#define TARN_REQUIRE_DESKTOP()                                                                        \
    do {                                                                                              \
        if (!::tarn::ui::Win32Backend::DesktopAvailable()) {                                          \
            if (::tarn::test::UnderCI())                                                              \
                FAIL() << "no desktop for windows under CI (Wine needs DISPLAY, e.g. Xvfb)";          \
            GTEST_SKIP() << "no desktop for windows";                                                 \
        }                                                                                             \
        ::tarn::test::Win32();                                                                        \
    } while (0)

inline std::map<UINT_PTR, std::function<void()>>& PendingTimers()
{
    static std::map<UINT_PTR, std::function<void()>> timers;
    return timers;
}

// Runs fn from the message loop after ms milliseconds (inside whatever
// modal loop is waiting then).
inline UINT_PTR Later(int ms, std::function<void()> fn)
{
    UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(ms), [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        auto it = PendingTimers().find(id);
        if (it == PendingTimers().end())
            return;
        std::function<void()> run = std::move(it->second);
        PendingTimers().erase(it);
        run();
    });
    PendingTimers()[id] = std::move(fn);
    return id;
}

// Fails the test and closes every window of the thread (again every two
// seconds) when its modal loops have not ended in time: a lost click must
// not hang the test program.
class Watchdog {
public:
    explicit Watchdog(int ms = 30000) { Arm(ms); }
    ~Watchdog()
    {
        if (PendingTimers().erase(id_))
            KillTimer(nullptr, id_);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    void Arm(int ms)
    {
        id_ = Later(ms, [this] {
            ADD_FAILURE() << "a modal loop did not end in time";
            EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM) -> BOOL {
                if (IsWindowVisible(w) && IsWindowEnabled(w))
                    PostMessageW(w, WM_CLOSE, 0, 0);
                return TRUE;
            }, 0);
            Arm(2000);
        });
    }
    UINT_PTR id_ = 0;
};

inline std::u16string TextOf(HWND w)
{
    wchar_t buf[1024] = {};
    int n = GetWindowTextW(w, buf, 1024);
    return std::u16string(reinterpret_cast<const char16_t*>(buf), static_cast<size_t>(n));
}

inline std::u16string U16(std::string_view cp932) { return AnsiToUtf16(cp932); }

// A child's rectangle in the client coordinates of the form's frame.
inline bool PlacedAt(HWND form, HWND child, int left, int top, int width, int height)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&r), 2);
    return r.left == left && r.top == top && r.right - r.left == width && r.bottom - r.top == height;
}

// The visible frame of this thread (parent null) or the child of parent
// (at any depth) with that text.
inline HWND FindWindowWithText(HWND parent, std::u16string_view text)
{
    std::pair<std::u16string_view, HWND> search{ text, nullptr };
    WNDENUMPROC match = [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<std::pair<std::u16string_view, HWND>*>(p);
        if (TextOf(w) != s->first || !IsWindowVisible(w))
            return TRUE;
        s->second = w;
        return FALSE;
    };
    if (parent)
        EnumChildWindows(parent, match, reinterpret_cast<LPARAM>(&search));
    else
        EnumThreadWindows(GetCurrentThreadId(), match, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

inline void PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

inline void PostKey(HWND w, WPARAM key)
{
    PostMessageW(w, WM_KEYDOWN, key, 1);
    PostMessageW(w, WM_KEYUP, key, 0xC0000001);
}

} // namespace tarn::test
