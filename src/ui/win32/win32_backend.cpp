#include "ui/win32/win32_backend.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "base/codepage.h"
#include "graphics/dib_surface.h"
#include "platform/wide_text.h"
#include "ui/application.h"
#include "ui/directory_list.h"
#include "ui/grad_box.h"
#include "ui/paint_box.h"

namespace tarn::ui {

using platform::FromWide;
using platform::Wide;

namespace {

constexpr wchar_t kFormClass[] = L"TarnForm";
// Page controls and their pages: plain windows that hold controls.
constexpr wchar_t kContainerClass[] = L"TarnContainer";
// Control identifiers start above the dialog manager's own (IDOK, IDCANCEL, ...).
constexpr int kFirstControlId = 1000;
constexpr int kIndentPerLevel = 8;
constexpr int kGlyphWidth = 18;
// What the drive list drops down below its box.
constexpr int kDropDownHeight = 160;
constexpr int kDriveRowHeight = 16;
constexpr DWORD kFrameExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

ATOM g_formAtom = 0;
WNDPROC g_listBoxProc = nullptr;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

bool IsGraphic(ControlKind kind) { return kind == ControlKind::PaintBox || kind == ControlKind::GradientBox; }

// TColor values are COLORREFs, except the system colours (high bit set, the
// index in the low byte).
COLORREF ColorRefOf(TColor c) { return (c & 0x80000000u) ? GetSysColor(static_cast<int>(c & 0xFF)) : (c & 0xFFFFFF); }

std::wstring WindowText(HWND w)
{
    int n = GetWindowTextLengthW(w);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(w, text.data(), n + 1);
    text.resize(static_cast<size_t>(std::max(n, 0)));
    return text;
}

void SetText(HWND w, const std::wstring& text)
{
    if (WindowText(w) != text)
        SetWindowTextW(w, text.c_str());
}

DWORD FrameStyle(const Form& form) { return WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN | (form.BorderIcons ? WS_SYSMENU : 0); }

DWORD LabelStyle(Alignment a)
{
    // Text that is too long is cut off, not wrapped, where the system allows it.
    return a == Alignment::Right ? SS_RIGHT : a == Alignment::Center ? SS_CENTER : SS_LEFTNOWORDWRAP;
}

// Where a child window lies in its parent's client area.
RECT RectInParent(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A drop-down list keeps its box's height whatever it is given (the rest is
// its list's): only its position and width tell whether it must move.
void Place(HWND w, int left, int top, int width, int height, bool dropDown = false)
{
    RECT r = RectInParent(w);
    if (r.left != left || r.top != top || r.right - r.left != width || (!dropDown && r.bottom - r.top != height))
        SetWindowPos(w, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowChild(HWND w, bool visible)
{
    bool now = (GetWindowLongPtrW(w, GWL_STYLE) & WS_VISIBLE) != 0;
    if (now != visible)
        ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE);
}

// A header for the surface's pixels as they are: bottom-up rows, the colour
// table at 8 bits or fewer, the channel masks at 16 bits.
struct DibHeader {
    BITMAPINFOHEADER header {};
    RGBQUAD colors[256] {};

    explicit DibHeader(const TDIBSurface& s)
    {
        header.biSize = sizeof header;
        header.biWidth = s.Width();
        header.biHeight = s.Height();
        header.biPlanes = 1;
        header.biBitCount = static_cast<WORD>(s.BitDepth());
        header.biCompression = BI_RGB;
        if (s.BitDepth() <= 8) {
            int n = 1 << s.BitDepth();
            header.biClrUsed = static_cast<DWORD>(n);
            for (int i = 0; i < n; ++i) {
                const TRGBQuad& q = s.Palette()[static_cast<size_t>(i)];
                colors[i] = { q.rgbBlue, q.rgbGreen, q.rgbRed, 0 };
            }
        } else if (s.BitDepth() == 16) {
            header.biCompression = BI_BITFIELDS;
            const DWORD masks[3] = { s.RedMask(), s.GreenMask(), s.BlueMask() };
            std::memcpy(colors, masks, sizeof masks);
        }
    }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};

void DrawSurface(HDC dc, int x, int y, int width, int height, const TDIBSurface& s)
{
    if (s.Empty())
        return;
    DibHeader info(s);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, x, y, width, height, 0, 0, s.Width(), s.Height(), s.Bits(), info.Info(), DIB_RGB_COLORS, SRCCOPY);
}

// A folder (open or closed) or a drive, in 16 x 16 pixels at (x, y).
void DrawGlyph(HDC dc, int x, int y, bool open, bool drive)
{
    auto box = [&](int l, int t, int r, int b, COLORREF fill) {
        HBRUSH brush = CreateSolidBrush(fill);
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
        Rectangle(dc, x + l, y + t, x + r, y + b);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(brush);
    };
    if (drive) {
        box(1, 5, 15, 12, RGB(192, 192, 192));
        box(11, 8, 13, 10, RGB(0, 160, 0));
        return;
    }
    box(1, 3, 7, 6, RGB(224, 192, 64));
    box(1, 5, 15, 14, open ? RGB(255, 240, 160) : RGB(240, 208, 96));
}

} // namespace

struct Win32Backend::FormView {
    Win32Backend* backend = nullptr;
    Form* form = nullptr; // null once the form is hidden
    HWND window = nullptr;
    std::map<const Control*, HWND> windows;
    std::map<int, Control*> byId;
    int nextId = kFirstControlId;
    // Shown modal: the windows it disabled, enabled again when it goes.
    bool modal = false;
    std::vector<HWND> disabled;
    HWND focus = nullptr; // given back when the frame is activated again
    bool syncing = false;
    // Messages of its windows being handled (the view outlives them).
    int busy = 0;
    // The directory list a mouse button went down in, and whether that was
    // the second press of a double click.
    HWND pressedList = nullptr;
    bool secondClick = false;
};

struct Win32Backend::Procs {
    // Counts a message being handled; a view whose form went away meanwhile
    // is freed when the last one returns.
    struct Busy {
        FormView* view;
        explicit Busy(FormView* v) : view(v) { ++view->busy; }
        ~Busy()
        {
            if (--view->busy == 0 && !view->form)
                view->backend->Release(view);
        }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;
    };

    static void Register()
    {
        if (g_formAtom)
            return;
        INITCOMMONCONTROLSEX icc = { sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES };
        InitCommonControlsEx(&icc);
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Window;
        wc.hInstance = Instance();
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
        wc.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(1));
        if (!wc.hIcon)
            wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); // IDI_APPLICATION
        wc.lpszClassName = kFormClass;
        g_formAtom = RegisterClassExW(&wc);
        wc.hIcon = nullptr;
        wc.lpszClassName = kContainerClass;
        RegisterClassExW(&wc);
    }

    static FormView* ViewOfWindow(HWND w)
    {
        HWND root = w ? GetAncestor(w, GA_ROOT) : nullptr;
        if (!root || static_cast<ATOM>(GetClassLongPtrW(root, GCW_ATOM)) != g_formAtom)
            return nullptr;
        return reinterpret_cast<FormView*>(GetWindowLongPtrW(root, GWLP_USERDATA));
    }

    static Control* ControlOf(FormView& view, HWND w)
    {
        if (!w || w == view.window)
            return nullptr;
        auto it = view.byId.find(GetDlgCtrlID(w));
        if (it == view.byId.end())
            return nullptr;
        auto known = view.windows.find(it->second);
        return known != view.windows.end() && known->second == w ? it->second : nullptr;
    }

    static HFONT FontOf(FormView& view, const Control* c)
    {
        const FontSpec& font = c && c->Kind() == ControlKind::Label && static_cast<const Label*>(c)->Font()
                                   ? *static_cast<const Label*>(c)->Font()
                                   : view.form->Font();
        return view.backend->FontFor(font.Name, font.Height);
    }

    static HBRUSH Background(FormView& view) { return view.backend->BrushFor(ColorRefOf(view.form->Color)); }

    static LRESULT CALLBACK Window(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_NCCREATE && static_cast<ATOM>(GetClassLongPtrW(hwnd, GCW_ATOM)) == g_formAtom) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        FormView* view = ViewOfWindow(hwnd);
        if (!view || !view->form)
            return DefWindowProcW(hwnd, msg, wp, lp);
        Busy busy(view);
        switch (msg) {
        case WM_COMMAND:
            Command(*view, LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_CLOSE:
            if (hwnd == view->window && IsWindowEnabled(hwnd))
                view->form->CloseRequested();
            return 0;
        case DM_GETDEFID:
            // Enter presses the model's default button, wherever the focus is.
            if (hwnd == view->window)
                if (Button* b = view->form->DefaultButton())
                    if (auto it = view->windows.find(b); it != view->windows.end())
                        return MAKELRESULT(GetDlgCtrlID(it->second), DC_HASDEFID);
            return 0;
        case WM_ACTIVATE:
            if (hwnd != view->window)
                break;
            Activated(*view, LOWORD(wp) != WA_INACTIVE, HIWORD(wp) != 0);
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return ControlColor(*view, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
        case WM_MEASUREITEM:
            if (Measure(*view, *reinterpret_cast<MEASUREITEMSTRUCT*>(lp)))
                return TRUE;
            break;
        case WM_DRAWITEM: {
            auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
            Control* c = ControlOf(*view, d->hwndItem);
            if (c && (c->Kind() == ControlKind::DirectoryList || c->Kind() == ControlKind::DriveCombo)) {
                DrawRow(*view, *d, c->Kind() == ControlKind::DriveCombo);
                return TRUE;
            }
            break;
        }
        case WM_ERASEBKGND:
            return 1; // WM_PAINT covers everything
        case WM_PAINT:
            Paint(*view, hwnd);
            return 0;
        default:
            break;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    // The focus a frame had goes back to it when it is activated again.
    static void Activated(FormView& view, bool active, bool minimized)
    {
        if (!active) {
            HWND f = GetFocus();
            if (f && IsChild(view.window, f))
                view.focus = f;
        } else if (!minimized) {
            FocusFirst(view);
        }
    }

    // The rows of the lists drawn here are as high as the model says.
    static bool Measure(FormView& view, MEASUREITEMSTRUCT& m)
    {
        auto it = view.byId.find(static_cast<int>(m.CtlID));
        if (it == view.byId.end())
            return false;
        if (it->second->Kind() == ControlKind::DirectoryList)
            m.itemHeight = static_cast<UINT>(static_cast<DirectoryList*>(it->second)->ItemHeight);
        else if (it->second->Kind() == ControlKind::DriveCombo)
            m.itemHeight = kDriveRowHeight;
        else
            return false;
        return true;
    }

    static void FocusFirst(FormView& view)
    {
        HWND target = view.focus;
        if (!target || !IsWindow(target) || !IsChild(view.window, target) || !IsWindowVisible(target) || !IsWindowEnabled(target))
            target = GetNextDlgTabItem(view.window, nullptr, FALSE);
        if (target)
            SetFocus(target);
    }

    static void Command(FormView& view, int id, int code)
    {
        // Synthesized input must not pass a modal form either: a disabled
        // frame takes nothing, as it takes no mouse or keys.
        if (view.syncing || !IsWindowEnabled(view.window))
            return;
        if (id == IDCANCEL) {
            view.form->CloseRequested(); // Escape
            return;
        }
        auto it = view.byId.find(id);
        if (it == view.byId.end())
            return;
        Control* c = it->second;
        auto known = view.windows.find(c);
        if (known == view.windows.end())
            return;
        HWND w = known->second;
        switch (c->Kind()) {
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            if (code != BN_CLICKED)
                return;
            c->Click();
            break;
        case ControlKind::Edit:
            if (code != EN_CHANGE)
                return;
            static_cast<Edit*>(c)->UserSetText(FromWide(WindowText(w)));
            break;
        case ControlKind::ListBox:
            if (code != LBN_SELCHANGE)
                return;
            static_cast<ListBox*>(c)->UserSelect(static_cast<int>(SendMessageW(w, LB_GETCURSEL, 0, 0)));
            break;
        case ControlKind::DriveCombo: {
            if (code != CBN_SELCHANGE)
                return;
            auto* drive = static_cast<DriveCombo*>(c);
            drive->UserChoosePlace(static_cast<int>(SendMessageW(w, CB_GETCURSEL, 0, 0)));
            break;
        }
        default:
            return;
        }
    }

    static LRESULT ControlColor(FormView& view, HDC dc, HWND w)
    {
        Control* c = ControlOf(view, w);
        TColor text = view.form->Font().Color;
        HBRUSH back = Background(view);
        COLORREF backColor = ColorRefOf(view.form->Color);
        if (c && c->Kind() == ControlKind::Label) {
            auto* label = static_cast<Label*>(c);
            if (label->Font())
                text = label->Font()->Color;
            if (label->Color() != clNone) {
                backColor = ColorRefOf(label->Color());
                back = view.backend->BrushFor(backColor);
            }
        }
        SetTextColor(dc, ColorRefOf(text));
        SetBkColor(dc, backColor);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(back);
    }

    // The container's colour, then its graphic controls in creation order
    // (a later one lies on top), through one off-screen bitmap.
    static void Paint(FormView& view, HWND hwnd)
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        if (rc.right > 0 && rc.bottom > 0) {
            HDC mem = CreateCompatibleDC(dc);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
            HGDIOBJ old = SelectObject(mem, bitmap);
            FillRect(mem, &rc, Background(view));
            // The frame holds what lies on the form; a page's window what lies on the page.
            Control* holder = hwnd == view.window ? nullptr : ControlOf(view, hwnd);
            if (hwnd == view.window || holder)
                for (Control* c : view.form->AllControls())
                    if (IsGraphic(c->Kind()) && c->Holder() == holder && c->Visible())
                        PaintGraphic(mem, *c);
            BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteObject(bitmap);
            DeleteDC(mem);
        }
        EndPaint(hwnd, &ps);
    }

    static void PaintGraphic(HDC dc, Control& c)
    {
        if (c.Width() <= 0 || c.Height() <= 0)
            return;
        int saved = SaveDC(dc);
        IntersectClipRect(dc, c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height());
        if (c.Kind() == ControlKind::GradientBox) {
            TDIBSurface surface;
            surface.Resize(c.Width(), c.Height(), 24);
            static_cast<GradientBox&>(c).PaintTo(surface);
            DrawSurface(dc, c.Left(), c.Top(), c.Width(), c.Height(), surface);
        } else {
            const auto& box = static_cast<const PaintBox&>(c);
            const TDIBSurface& b = box.Bitmap();
            if (box.Stretch()) {
                DrawSurface(dc, c.Left(), c.Top(), c.Width(), c.Height(), b);
            } else {
                int x = box.Center() ? (c.Width() - b.Width()) / 2 : 0;
                int y = box.Center() ? (c.Height() - b.Height()) / 2 : 0;
                DrawSurface(dc, c.Left() + x, c.Top() + y, b.Width(), b.Height(), b);
            }
        }
        RestoreDC(dc, saved);
    }

    // A row of the directory list (indented by its level, with a drive or
    // folder glyph, all of the list's item height) or of the drive list.
    static void DrawRow(FormView& view, const DRAWITEMSTRUCT& d, bool drive)
    {
        HDC dc = d.hDC;
        bool selected = (d.itemState & ODS_SELECTED) != 0;
        RECT r = d.rcItem;
        FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        if (d.itemID == static_cast<UINT>(-1))
            return;
        LPARAM data = drive ? 0 : SendMessageW(d.hwndItem, LB_GETITEMDATA, d.itemID, 0);
        int level = static_cast<int>(data & 0xFFFF);
        bool open = (data >> 16) & 1;
        int x = r.left + 2 + level * kIndentPerLevel;
        DrawGlyph(dc, x, r.top + (r.bottom - r.top - 16) / 2, open, level == 0);
        UINT lengthMessage = drive ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, textMessage = drive ? CB_GETLBTEXT : LB_GETTEXT;
        int n = static_cast<int>(SendMessageW(d.hwndItem, lengthMessage, d.itemID, 0));
        std::wstring text(static_cast<size_t>(std::max(n, 0)) + 1, L'\0');
        n = static_cast<int>(SendMessageW(d.hwndItem, textMessage, d.itemID, reinterpret_cast<LPARAM>(text.data())));
        text.resize(static_cast<size_t>(std::max(n, 0)));
        HGDIOBJ oldFont = SelectObject(dc, FontOf(view, nullptr));
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        SetBkMode(dc, TRANSPARENT);
        RECT t = r;
        t.left = x + kGlyphWidth;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        SelectObject(dc, oldFont);
        if (d.itemState & ODS_FOCUS)
            DrawFocusRect(dc, &r);
    }

    // The directory list's listbox: each click goes to the model as a press
    // on the row under the pointer (with whether it was the second click of
    // a double click), and Enter as a choice of the highlighted row; arrows
    // only move the highlight.
    static LRESULT CALLBACK DirectoryRows(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        FormView* view = ViewOfWindow(hwnd);
        Control* c = view && view->form ? ControlOf(*view, hwnd) : nullptr;
        if (!c || c->Kind() != ControlKind::DirectoryList)
            return CallWindowProcW(g_listBoxProc, hwnd, msg, wp, lp);
        Busy busy(view);
        auto* list = static_cast<DirectoryList*>(c);
        switch (msg) {
        case WM_GETDLGCODE: {
            LRESULT code = CallWindowProcW(g_listBoxProc, hwnd, msg, wp, lp);
            auto* m = reinterpret_cast<MSG*>(lp);
            if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN)
                code |= DLGC_WANTALLKEYS;
            return code;
        }
        case WM_KEYDOWN:
            if (wp == VK_RETURN) {
                int row = static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0));
                if (IsWindowEnabled(view->window) && row >= 0)
                    list->UserChoose(row);
                return 0;
            }
            break;
        case WM_LBUTTONDOWN:
            view->pressedList = hwnd;
            view->secondClick = false;
            break;
        case WM_LBUTTONDBLCLK:
            view->pressedList = hwnd;
            view->secondClick = true;
            break;
        case WM_LBUTTONUP: {
            LRESULT r = CallWindowProcW(g_listBoxProc, hwnd, msg, wp, lp);
            bool pressed = view->pressedList == hwnd, second = view->secondClick;
            view->pressedList = nullptr;
            view->secondClick = false;
            if (!view->form || !pressed || !IsWindowEnabled(view->window))
                return r;
            LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lp);
            list->UserPress(HIWORD(hit) == 0 ? static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0)) : -1, second);
            return r;
        }
        default:
            break;
        }
        return CallWindowProcW(g_listBoxProc, hwnd, msg, wp, lp);
    }
};

Win32Backend::Win32Backend() { Procs::Register(); }

Win32Backend::~Win32Backend()
{
    for (auto& [form, view] : views_) {
        SetWindowLongPtrW(view->window, GWLP_USERDATA, 0);
        DestroyWindow(view->window);
    }
    views_.clear();
    for (auto& view : retired_) {
        SetWindowLongPtrW(view->window, GWLP_USERDATA, 0);
        DestroyWindow(view->window);
    }
    retired_.clear();
    for (auto& [key, font] : fonts_)
        DeleteObject(font);
    for (auto& [color, brush] : brushes_)
        DeleteObject(brush);
}

bool Win32Backend::DesktopAvailable()
{
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) || !(flags.dwFlags & WSF_VISIBLE))
        return false;
    // A visible station whose display cannot be reached (Wine without an X
    // server) makes no windows.
    Procs::Register();
    HWND probe = CreateWindowExW(0, kContainerClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, Instance(), nullptr);
    if (!probe)
        return false;
    DestroyWindow(probe);
    return true;
}

int Win32Backend::DesktopWidth() const { return GetSystemMetrics(SM_CXSCREEN); }

int Win32Backend::DesktopHeight() const { return GetSystemMetrics(SM_CYSCREEN); }

HFONT Win32Backend::FontFor(const AnsiString& name, int height)
{
    AnsiString face = name.empty() ? Sjis(u8"ＭＳ Ｐゴシック") : name;
    if (height <= 0)
        height = 12;
    HFONT& font = fonts_[{ face, height }];
    if (!font) {
        // Shift-JIS asked for by name: the face and its Japanese glyphs
        // whatever the system's own code page is.
        LOGFONTW lf = {};
        lf.lfHeight = -height;
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = SHIFTJIS_CHARSET;
        lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
        lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        lf.lfQuality = DEFAULT_QUALITY;
        lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
        std::wstring w = Wide(face).substr(0, LF_FACESIZE - 1);
        std::copy(w.begin(), w.end(), lf.lfFaceName);
        font = CreateFontIndirectW(&lf);
    }
    return font;
}

HBRUSH Win32Backend::BrushFor(uint32_t colorRef)
{
    HBRUSH& brush = brushes_[colorRef];
    if (!brush)
        brush = CreateSolidBrush(colorRef);
    return brush;
}

Win32Backend::FormView* Win32Backend::ViewOf(const Form& form) const
{
    auto it = views_.find(&form);
    return it == views_.end() ? nullptr : it->second.get();
}

HWND Win32Backend::WindowOf(const Form& form) const
{
    FormView* view = ViewOf(form);
    return view ? view->window : nullptr;
}

HWND Win32Backend::WindowOf(const Control& control) const
{
    FormView* view = ViewOf(control.OwnerForm());
    if (!view)
        return nullptr;
    auto it = view->windows.find(&control);
    return it == view->windows.end() ? nullptr : it->second;
}

HWND Win32Backend::WindowFor(FormView& view, Control* c)
{
    auto it = view.windows.find(c);
    if (it != view.windows.end())
        return it->second;
    Control* holder = c->Holder();
    HWND parent = holder ? WindowFor(view, holder) : view.window;
    if (IsGraphic(c->Kind()))
        return nullptr; // drawn by its holder
    HWND w = CreateControlWindow(view, c, parent);
    view.windows[c] = w;
    return w;
}

namespace {

// The system's class of window for a control, and its styles.
struct NativeKind {
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex = 0;
};

NativeKind NativeKindOf(const Control& c)
{
    NativeKind k;
    const DWORD list = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    switch (c.Kind()) {
    case ControlKind::Button:
        return { L"BUTTON", k.style | WS_TABSTOP | (static_cast<const Button&>(c).Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) };
    // Not the automatic kinds: the model decides what is checked.
    case ControlKind::CheckBox:
        return { L"BUTTON", k.style | WS_TABSTOP | BS_CHECKBOX };
    case ControlKind::RadioButton:
        return { L"BUTTON", k.style | WS_TABSTOP | BS_RADIOBUTTON };
    case ControlKind::Label:
        return { k.cls, k.style | LabelStyle(static_cast<const Label&>(c).Alignment()) };
    case ControlKind::Bevel:
        return { k.cls, k.style | SS_ETCHEDHORZ };
    case ControlKind::Edit:
        return { L"EDIT", k.style | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE };
    case ControlKind::ListBox:
        return { L"LISTBOX", k.style | list, WS_EX_CLIENTEDGE };
    case ControlKind::DirectoryList:
        return { L"LISTBOX", k.style | list | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, WS_EX_CLIENTEDGE };
    // Drawn here, as the system's drive lists are: a glyph before each
    // drive, and a box exactly as high as the model's.
    case ControlKind::DriveCombo:
        return { L"COMBOBOX", k.style | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS };
    case ControlKind::ProgressBar:
        return { PROGRESS_CLASSW, k.style };
    case ControlKind::PageControl:
    case ControlKind::Page:
        return { kContainerClass, k.style | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT };
    default:
        return k;
    }
}

} // namespace

HWND Win32Backend::CreateControlWindow(FormView& view, Control* c, HWND parent)
{
    NativeKind kind = NativeKindOf(*c);
    int height = c->Height() + (c->Kind() == ControlKind::DriveCombo ? kDropDownHeight : 0);
    int id = view.nextId++;
    // Known before the window exists: it measures its rows while it is made.
    view.byId[id] = c;
    HWND w = CreateWindowExW(kind.ex, kind.cls, L"", kind.style, c->Left(), c->Top(), c->Width(), height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    if (!w) {
        view.byId.erase(id);
        throw Exception(u8"ウィンドウを作成できません (%s)", { c->Name() });
    }
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(Procs::FontOf(view, c)), FALSE);
    if (c->Kind() == ControlKind::DirectoryList) {
        WNDPROC previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procs::DirectoryRows)));
        if (!g_listBoxProc)
            g_listBoxProc = previous;
        SendMessageW(w, LB_SETITEMHEIGHT, 0, static_cast<DirectoryList*>(c)->ItemHeight);
    }
    if (c->Kind() == ControlKind::ProgressBar)
        SendMessageW(w, PBM_SETRANGE32, 0, ProgressBar::kScale);
    return w;
}

namespace {

void SyncButton(Button& button, HWND w)
{
    SetText(w, Wide(button.Caption()));
    DWORD type = button.Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((GetWindowLongPtrW(w, GWL_STYLE) & BS_TYPEMASK) != type)
        SendMessageW(w, BM_SETSTYLE, type, TRUE);
}

void SyncCheck(CheckControl& check, HWND w)
{
    SetText(w, Wide(check.Caption()));
    WPARAM state = check.Checked() ? BST_CHECKED : BST_UNCHECKED;
    if (static_cast<WPARAM>(SendMessageW(w, BM_GETCHECK, 0, 0)) != state)
        SendMessageW(w, BM_SETCHECK, state, 0);
}

// The text's own size in the label's font, as an auto-sized label takes it.
SIZE TextSize(HWND w, HFONT font, const std::wstring& text)
{
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r = { 0, 0, 0, 0 };
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    if (!text.empty())
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    return { r.right, std::max<LONG>(r.bottom, tm.tmHeight) };
}

// Returns the size the label takes: its own, or its text's when auto-sized.
SIZE SyncLabel(Label& label, HWND w, HFONT font)
{
    std::wstring text = Wide(label.Caption());
    SetText(w, text);
    LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
    LONG_PTR wanted = (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | LabelStyle(label.Alignment());
    if (style != wanted)
        SetWindowLongPtrW(w, GWL_STYLE, wanted);
    // Colours and alignment are the parent's answer to WM_CTLCOLORSTATIC.
    InvalidateRect(w, nullptr, TRUE);
    return label.AutoSize() ? TextSize(w, font, text) : SIZE{ label.Width(), label.Height() };
}

std::wstring ListText(HWND w, size_t i)
{
    std::wstring text(static_cast<size_t>(std::max<LRESULT>(SendMessageW(w, LB_GETTEXTLEN, i, 0), 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(std::max<LRESULT>(SendMessageW(w, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data())), 0)));
    return text;
}

// Fills a listbox with rows again, each with its item data, drawn once.
template <typename Row>
void RefillList(HWND w, const std::vector<Row>& rows, const std::function<AnsiString(const Row&)>& text,
                const std::function<LPARAM(const Row&)>& data)
{
    SendMessageW(w, WM_SETREDRAW, FALSE, 0);
    SendMessageW(w, LB_RESETCONTENT, 0, 0);
    for (const Row& row : rows) {
        LRESULT at = SendMessageW(w, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text(row)).c_str()));
        SendMessageW(w, LB_SETITEMDATA, static_cast<WPARAM>(at), data(row));
    }
    SendMessageW(w, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(w, nullptr, TRUE);
}

void SyncListBox(ListBox& list, HWND w)
{
    const StringList& items = list.Items();
    bool same = SendMessageW(w, LB_GETCOUNT, 0, 0) == static_cast<LRESULT>(items.size());
    for (size_t i = 0; same && i < items.size(); ++i)
        same = ListText(w, i) == Wide(items[i]);
    if (!same)
        RefillList<AnsiString>(w, items, [](const AnsiString& item) { return item; }, [](const AnsiString&) { return LPARAM(0); });
    if (SendMessageW(w, LB_GETCURSEL, 0, 0) != list.ItemIndex())
        SendMessageW(w, LB_SETCURSEL, static_cast<WPARAM>(list.ItemIndex()), 0);
}

void SyncProgress(ProgressBar& bar, HWND w)
{
    int pos = bar.ScaledPosition();
    if (SendMessageW(w, PBM_GETPOS, 0, 0) != pos)
        SendMessageW(w, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

// A row's level and whether its folder is open, as the row drawing reads them.
LPARAM RowData(const DirectoryList::Entry& e) { return static_cast<LPARAM>((e.Level & 0xFFFF) | (e.Open ? 0x10000 : 0)); }

void SyncDirectoryList(DirectoryList& list, HWND w)
{
    const std::vector<DirectoryList::Entry>& entries = list.Items();
    bool same = SendMessageW(w, LB_GETCOUNT, 0, 0) == static_cast<LRESULT>(entries.size());
    for (size_t i = 0; same && i < entries.size(); ++i)
        same = ListText(w, i) == Wide(entries[i].Text) && SendMessageW(w, LB_GETITEMDATA, i, 0) == RowData(entries[i]);
    if (!same)
        RefillList<DirectoryList::Entry>(w, entries, [](const DirectoryList::Entry& e) { return e.Text; }, RowData);
    if (SendMessageW(w, LB_GETITEMHEIGHT, 0, 0) != list.ItemHeight)
        SendMessageW(w, LB_SETITEMHEIGHT, 0, list.ItemHeight);
    // Selecting scrolls the directory's own row into view.
    SendMessageW(w, LB_SETCURSEL, static_cast<WPARAM>(list.ItemIndex()), 0);
}

void SyncDriveCombo(DriveCombo& drive, HWND w)
{
    const size_t count = drive.Places().size();
    bool same = SendMessageW(w, CB_GETCOUNT, 0, 0) == static_cast<LRESULT>(count);
    for (size_t i = 0; same && i < count; ++i) {
        std::wstring text = Wide(drive.PlaceText(static_cast<int>(i)));
        std::vector<wchar_t> shown(static_cast<size_t>(std::max<LRESULT>(SendMessageW(w, CB_GETLBTEXTLEN, i, 0), 0)) + 1);
        SendMessageW(w, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(shown.data()));
        same = text == shown.data();
    }
    if (!same) {
        SendMessageW(w, CB_RESETCONTENT, 0, 0);
        for (size_t i = 0; i < count; ++i)
            SendMessageW(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(drive.PlaceText(static_cast<int>(i))).c_str()));
    }
    WPARAM index = static_cast<WPARAM>(drive.PlaceIndex());
    if (static_cast<WPARAM>(SendMessageW(w, CB_GETCURSEL, 0, 0)) != index)
        SendMessageW(w, CB_SETCURSEL, index, 0);
}

// The box of a drop-down list follows its item height: made the model's
// height, adjusted by what it became, as systems differ in what the item
// height set includes.
void FitDropDownBox(HWND w, int height)
{
    int request = static_cast<int>(SendMessageW(w, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    for (int tries = 0; tries < 3; ++tries) {
        RECT r;
        GetWindowRect(w, &r);
        int box = r.bottom - r.top;
        if (box == height || request + height - box <= 0)
            break;
        request += height - box;
        SendMessageW(w, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), request);
    }
}

// What a control of each kind shows beyond its place and state; returns the
// size it takes.
SIZE SyncContent(Control* c, HWND w, HFONT font)
{
    SIZE size = { c->Width(), c->Height() };
    switch (c->Kind()) {
    case ControlKind::Button:
        SyncButton(*static_cast<Button*>(c), w);
        break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
        SyncCheck(*static_cast<CheckControl*>(c), w);
        break;
    case ControlKind::Label:
        size = SyncLabel(*static_cast<Label*>(c), w, font);
        break;
    case ControlKind::Edit:
        SetText(w, Wide(static_cast<Edit*>(c)->Text()));
        break;
    case ControlKind::ListBox:
        SyncListBox(*static_cast<ListBox*>(c), w);
        break;
    case ControlKind::ProgressBar:
        SyncProgress(*static_cast<ProgressBar*>(c), w);
        break;
    case ControlKind::DirectoryList:
        SyncDirectoryList(*static_cast<DirectoryList*>(c), w);
        break;
    case ControlKind::DriveCombo:
        SyncDriveCombo(*static_cast<DriveCombo*>(c), w);
        size.cy += kDropDownHeight; // the list it drops down
        break;
    default:
        break;
    }
    return size;
}

} // namespace

void Win32Backend::SyncControl(FormView& view, Control* c, HWND w)
{
    bool wasSyncing = view.syncing;
    view.syncing = true;
    if (c->Kind() == ControlKind::Page) {
        // A page covers its page control.
        PageControl& owner = static_cast<Page*>(c)->Owner();
        Place(w, 0, 0, owner.Width(), owner.Height());
    } else {
        HFONT font = Procs::FontOf(view, c);
        if (reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)) != font)
            SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        SIZE size = SyncContent(c, w, font);
        bool dropDown = c->Kind() == ControlKind::DriveCombo;
        Place(w, c->Left(), c->Top(), size.cx, size.cy, dropDown);
        if (dropDown)
            FitDropDownBox(w, c->Height());
        if (static_cast<bool>(IsWindowEnabled(w)) != c->Enabled())
            EnableWindow(w, c->Enabled());
    }
    // Within its holder's window: what the holder hides stays hidden with it.
    ShowChild(w, c->VisibleInHolder());
    view.syncing = wasSyncing;
}

void Win32Backend::Sync(FormView& view, Control* only)
{
    Form& form = *view.form;
    if (!only) {
        SetText(view.window, Wide(form.Caption()));
        RECT client;
        GetClientRect(view.window, &client);
        if (client.right != form.ClientWidth() || client.bottom != form.ClientHeight())
            PlaceFrame(view, false);
        // Graphic controls lying on the form itself.
        InvalidateRect(view.window, nullptr, FALSE);
    }
    for (Control* c : form.AllControls()) {
        if (only && c != only)
            continue;
        if (IsGraphic(c->Kind())) {
            // Drawn by the window that holds it.
            HWND holder = c->Holder() ? WindowFor(view, c->Holder()) : view.window;
            if (holder)
                InvalidateRect(holder, nullptr, FALSE);
            continue;
        }
        SyncControl(view, c, WindowFor(view, c));
    }
}

void Win32Backend::PlaceFrame(FormView& view, bool centre)
{
    Form& form = *view.form;
    RECT r = { 0, 0, form.ClientWidth(), form.ClientHeight() };
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(view.window, GWL_STYLE));
    DWORD ex = static_cast<DWORD>(GetWindowLongPtrW(view.window, GWL_EXSTYLE));
    AdjustWindowRectEx(&r, style, FALSE, ex);
    int width = r.right - r.left, height = r.bottom - r.top;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (centre ? 0 : SWP_NOMOVE);
    SetWindowPos(view.window, nullptr, (DesktopWidth() - width) / 2, (DesktopHeight() - height) / 2, width, height, flags);
}

void Win32Backend::ShowForm(Form& form)
{
    std::unique_ptr<FormView>& slot = views_[&form];
    bool fresh = !slot;
    if (fresh) {
        slot = std::make_unique<FormView>();
        FormView& view = *slot;
        view.backend = this;
        view.form = &form;
        // The owner's frame keeps this one in front of it.
        Form* ownerForm = form.WindowOwner();
        HWND owner = ownerForm ? WindowOf(*ownerForm) : nullptr;
        DWORD ex = kFrameExStyle | (owner ? 0 : WS_EX_APPWINDOW);
        view.window = CreateWindowExW(ex, kFormClass, Wide(form.Caption()).c_str(), FrameStyle(form), CW_USEDEFAULT, CW_USEDEFAULT,
                                      form.ClientWidth(), form.ClientHeight(), owner, nullptr, Instance(), &view);
        if (!view.window) {
            views_.erase(&form);
            throw Exception(u8"ウィンドウを作成できません (%s)", { form.Name() });
        }
        for (Control* c : form.AllControls())
            WindowFor(view, c);
    }
    FormView& view = *slot;
    Sync(view, nullptr);
    if (fresh)
        PlaceFrame(view, true);
    if (form.IsModal() && !view.modal) {
        // Every other window of the program waits, as for the system's
        // modal dialogs; the owner is among them.
        for (auto& [other, otherView] : views_)
            if (otherView.get() != &view && IsWindowEnabled(otherView->window)) {
                EnableWindow(otherView->window, FALSE);
                view.disabled.push_back(otherView->window);
            }
        view.modal = true;
    }
    ShowWindow(view.window, SW_SHOW);
    SetForegroundWindow(view.window);
    HWND focus = GetFocus();
    if (!focus || !IsChild(view.window, focus))
        Procs::FocusFirst(view);
    // Children included, before anything else happens (and before a
    // measured start-up ends).
    RedrawWindow(view.window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (App().ExitAtFirstPaint) {
        GdiFlush();
        App().FirstPaintDone();
    }
}

void Win32Backend::HideForm(Form& form)
{
    auto it = views_.find(&form);
    if (it == views_.end())
        return;
    std::unique_ptr<FormView> view = std::move(it->second);
    views_.erase(it);
    // A frame whose owner goes first must not go with it.
    for (auto& [other, otherView] : views_)
        if (GetWindow(otherView->window, GW_OWNER) == view->window)
            SetWindowLongPtrW(otherView->window, GWLP_HWNDPARENT, 0);
    HWND owner = GetWindow(view->window, GW_OWNER);
    bool active = GetActiveWindow() == view->window;
    if (view->modal) {
        // Before the frame goes, so that activation passes back to them.
        for (HWND w : view->disabled)
            if (IsWindow(w))
                EnableWindow(w, TRUE);
        view->disabled.clear();
    }
    ShowWindow(view->window, SW_HIDE);
    if (active && owner && IsWindowVisible(owner) && IsWindowEnabled(owner))
        SetActiveWindow(owner);
    view->form = nullptr;
    Retire(std::move(view));
}

void Win32Backend::Retire(std::unique_ptr<FormView> view)
{
    if (view->busy > 0) {
        retired_.push_back(std::move(view));
        return;
    }
    SetWindowLongPtrW(view->window, GWLP_USERDATA, 0);
    DestroyWindow(view->window);
}

void Win32Backend::Release(FormView* view)
{
    auto it = std::find_if(retired_.begin(), retired_.end(), [&](const std::unique_ptr<FormView>& v) { return v.get() == view; });
    if (it == retired_.end())
        return;
    std::unique_ptr<FormView> owned = std::move(*it);
    retired_.erase(it);
    SetWindowLongPtrW(owned->window, GWLP_USERDATA, 0);
    DestroyWindow(owned->window);
}

void Win32Backend::Update(Form& form, Control* control)
{
    FormView* view = ViewOf(form);
    if (!view)
        return;
    // A page switch changes what shows on every page.
    Sync(*view, control && control->Kind() == ControlKind::PageControl ? nullptr : control);
}

void Win32Backend::Deliver(MSG& msg)
{
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    // Tab, arrows, Enter, Escape and mnemonics as in the system's dialogs.
    if (root && Procs::ViewOfWindow(root) && IsDialogMessageW(root, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Win32Backend::WaitForAction(Form& form, int timeoutMs)
{
    if (timeoutMs >= 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeoutMs), QS_ALLINPUT);
        ProcessMessages();
        return;
    }
    do {
        MSG msg;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The program is being ended: nobody will answer this form.
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));
            form.ForceClose();
            return;
        }
        Deliver(msg);
    } while (form.GetModalResult() == mrNone && form.IsShown());
}

void Win32Backend::ProcessMessages()
{
    // Bounded: a window that keeps posting to itself must not hold a run.
    MSG msg;
    for (int n = 0; n < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Deliver(msg);
    }
}

std::optional<std::string> Win32Backend::ChooseFile(Form& owner, const AnsiString& title, const StringList& filters)
{
    // The filter list: "name\0patterns\0" pairs, the patterns taken from
    // between the parentheses and separated by semicolons.
    std::wstring filter;
    for (const AnsiString& f : filters) {
        size_t open = f.find('('), close = f.rfind(')');
        std::string patterns = open != std::string::npos && close > open ? f.substr(open + 1, close - open - 1) : "*";
        std::replace(patterns.begin(), patterns.end(), ' ', ';');
        filter += platform::Wide(f) + L'\0' + platform::Wide(patterns) + L'\0';
    }
    filter += L'\0';
    std::wstring caption = platform::Wide(title);
    wchar_t file[32768] = L"";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = WindowOf(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = static_cast<DWORD>(std::size(file));
    ofn.lpstrTitle = caption.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn))
        return std::nullopt;
    return AnsiToHostUtf8(platform::FromWide(file, wcslen(file)));
}

void Win32Backend::BringToFront(Form& form)
{
    HWND w = WindowOf(form);
    if (!w)
        return;
    if (IsIconic(w))
        ShowWindow(w, SW_RESTORE);
    BringWindowToTop(w);
    SetForegroundWindow(w);
}

bool Win32Backend::Grab(const Form& form, TDIBSurface& picture)
{
    HWND w = WindowOf(form);
    if (!w)
        return false;
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    RECT rc;
    GetClientRect(w, &rc);
    if (rc.right <= 0 || rc.bottom <= 0)
        return false;
    picture.Resize(rc.right, rc.bottom, 24);
    // Not clipped to the frame's own pixels: the children come along.
    HDC source = GetDCEx(w, nullptr, DCX_CACHE);
    HDC mem = CreateCompatibleDC(source);
    DibHeader info(picture);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, info.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = dib && bits;
    if (ok) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, rc.right, rc.bottom, source, 0, 0, SRCCOPY);
        GdiFlush();
        // Both are bottom-up rows of the same stride.
        if (ok)
            std::memcpy(picture.Bits(), bits, picture.ImageSize());
        SelectObject(mem, old);
        DeleteObject(dib);
    }
    DeleteDC(mem);
    ReleaseDC(w, source);
    return ok;
}

bool Win32Backend::Grab(const Form& form, const AnsiString& fileName)
{
    TDIBSurface picture;
    if (!Grab(form, picture))
        return false;
    try {
        picture.SaveFile(fileName);
    } catch (const Exception&) {
        return false;
    }
    return true;
}

} // namespace tarn::ui
