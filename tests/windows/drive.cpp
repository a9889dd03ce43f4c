// tarn-drive: what a person does to the program's windows on Windows, for the
// end-to-end run under Wine. It finds top-level windows by their title and
// controls by their text (the mnemonic '&' ignored), and clicks, waits and
// takes pictures through the window messages a mouse click would cause.
//
//   tarn-drive wait TITLE [SECONDS]    a visible window with that title
//   tarn-drive gone TITLE [SECONDS]    no visible window with that title
//   tarn-drive click TITLE TEXT        the control showing TEXT, once it is enabled
//   tarn-drive shot TITLE FILE.bmp     the window's client area as a 24-bit bitmap
//   tarn-drive close TITLE             the close box
//   tarn-drive list TITLE              the window's controls, one per line
//
// Exit status 0 when done, 1 when the window or control did not come in time,
// 2 for wrong usage.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring WithoutMnemonic(const std::wstring& s)
{
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'&' && i + 1 < s.size())
            ++i;
        out += s[i];
    }
    return out;
}

std::wstring TextOf(HWND w)
{
    int n = GetWindowTextLengthW(w);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(w, text.data(), n + 1)));
    return text;
}

std::string Utf8(const std::wstring& w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

HWND FindTopLevel(const std::wstring& title)
{
    struct Search {
        const std::wstring* title;
        HWND found;
    } search{ &title, nullptr };
    EnumWindows(
        [](HWND w, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (IsWindowVisible(w) && TextOf(w) == *s->title) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> all;
    EnumChildWindows(
        parent,
        [](HWND w, LPARAM data) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(data)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// A visible control of the window whose text is text (mnemonics ignored).
HWND FindControl(HWND window, const std::wstring& text)
{
    for (HWND c : Children(window))
        if (IsWindowVisible(c) && WithoutMnemonic(TextOf(c)) == WithoutMnemonic(text))
            return c;
    return nullptr;
}

// Polls until found returns a window or the time is up.
template <typename Find>
HWND WaitFor(Find found, double seconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = found())
            return w;
        if (GetTickCount() - start > static_cast<DWORD>(seconds * 1000))
            return nullptr;
        Sleep(50);
    }
}

bool WriteBitmap(HWND window, const std::wstring& file)
{
    RECT r;
    GetClientRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as a bitmap file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool ok = bitmap && BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    DWORD size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + size;
    info.bmiHeader.biSizeImage = size;
    if (ok) {
        HANDLE f = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        ok = f != INVALID_HANDLE_VALUE && WriteFile(f, &header, sizeof header, &written, nullptr) &&
             WriteFile(f, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) && WriteFile(f, bits, size, &written, nullptr);
        if (f != INVALID_HANDLE_VALUE)
            CloseHandle(f);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return ok;
}

int Usage()
{
    std::fputs("usage: tarn-drive wait|gone|click|shot|close|list TITLE [TEXT|FILE|SECONDS]\n", stderr);
    return 2;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3)
        return Usage();
    const std::wstring command = argv[1], title = argv[2];
    const double seconds = 30;
    auto window = [&] { return FindTopLevel(title); };

    if (command == L"wait" || command == L"gone") {
        double limit = argc > 3 ? _wtof(argv[3]) : seconds;
        HWND w = command == L"wait" ? WaitFor(window, limit)
                                    : WaitFor([&]() -> HWND { return FindTopLevel(title) ? nullptr : GetDesktopWindow(); }, limit);
        if (!w)
            std::fprintf(stderr, "tarn-drive: %s \"%s\" timed out\n", Utf8(command).c_str(), Utf8(title).c_str());
        return w ? 0 : 1;
    }
    HWND w = WaitFor(window, seconds);
    if (!w) {
        std::fprintf(stderr, "tarn-drive: no window \"%s\"\n", Utf8(title).c_str());
        return 1;
    }
    if (command == L"click" && argc > 3) {
        const std::wstring text = argv[3];
        HWND c = WaitFor([&]() -> HWND {
            HWND found = FindControl(w, text);
            return found && IsWindowEnabled(found) ? found : nullptr;
        }, seconds);
        if (!c) {
            std::fprintf(stderr, "tarn-drive: no enabled control \"%s\" in \"%s\"\n", Utf8(text).c_str(), Utf8(title).c_str());
            return 1;
        }
        // Posted, as the mouse's click would be: the window's own loop handles it.
        PostMessageW(c, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"shot" && argc > 3) {
        // The last paint has reached the screen before the picture is taken.
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(300);
        return WriteBitmap(w, argv[3]) ? 0 : 1;
    }
    if (command == L"close") {
        PostMessageW(w, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == L"list") {
        for (HWND c : Children(w)) {
            wchar_t cls[64] = L"";
            GetClassNameW(c, cls, 64);
            RECT r;
            GetWindowRect(c, &r);
            MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&r), 2);
            std::printf("%s\t%s\t%s%s\t%ld,%ld %ldx%ld\n", Utf8(cls).c_str(), Utf8(TextOf(c)).c_str(), IsWindowVisible(c) ? "visible" : "hidden",
                        IsWindowEnabled(c) ? "" : " disabled", r.left, r.top, r.right - r.left, r.bottom - r.top);
        }
        return 0;
    }
    return Usage();
}
