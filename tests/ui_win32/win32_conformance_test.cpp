// The backend conformance cases with the Win32 backend under Wine: input
// posted to the windows as a person's arrives, the windows read back.
#include <deque>

#include "conformance/cases.h"
#include "ui_win32/win32_support.h"

using namespace tarn;
using namespace tarn::ui;
using namespace tarn::test;

namespace {

HWND W(const Control& c) { return Win32().WindowOf(c); }

AnsiString FromW(const std::u16string& text) { return Utf16ToAnsi(text); }

class Win32Probe : public TimedStepProbe {
public:
    Win32Probe() { Win32(); }
    ~Win32Probe() override
    {
        if (Armed() && PendingTimers().erase(timer_))
            KillTimer(nullptr, timer_);
    }

    std::string Name() const override { return "win32"; }
    std::string Lacks(Can) const override { return ""; }

    void Settle() override { App().ProcessMessages(); }

    void Click(Control& c) override { PostClick(W(c)); }
    void CloseBox(Form& f) override { PostMessageW(Win32().WindowOf(f), WM_CLOSE, 0, 0); }
    // The text as a person's typing leaves it: the edit tells its parent.
    void Type(Edit& e, const AnsiString& text) override { SetWindowTextW(W(e), reinterpret_cast<const wchar_t*>(U16(text).c_str())); }
    void ClickRow(DirectoryList& list, int row) override { ClickOnRow(list, row, false); }
    void DoubleClickRow(DirectoryList& list, int row) override { ClickOnRow(list, row, true); }
    void HighlightNextRow(DirectoryList& list) override
    {
        SetFocus(W(list));
        PostKey(W(list), VK_DOWN);
    }
    void EnterOnHighlightedRow(DirectoryList& list) override
    {
        SetFocus(W(list));
        PostKey(W(list), VK_RETURN);
    }
    // Keys with the list closed: the last step of a walk from its neighbour.
    void ChooseDrive(DriveCombo& drive, int to) override
    {
        HWND combo = W(drive);
        int from = to > 0 ? to - 1 : to + 1;
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(from), 0);
        SetFocus(combo);
        PostKey(combo, to > from ? VK_DOWN : VK_UP);
    }

    bool HasWindow(const Form& f) override
    {
        HWND frame = Win32().WindowOf(f);
        return frame && IsWindowVisible(frame);
    }
    AnsiString Title(const Form& f) override { return FromW(TextOf(Win32().WindowOf(f))); }
    std::optional<Shown> ShownControl(const Control& c) override
    {
        if (c.Kind() == ControlKind::PaintBox || c.Kind() == ControlKind::GradientBox)
            return std::nullopt; // drawn by the window that holds it
        HWND w = W(c);
        if (!w)
            return Shown{};
        Shown shown{ IsWindowVisible(w) != 0, std::nullopt, IsWindowEnabled(w) != 0, std::nullopt };
        switch (c.Kind()) {
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            shown.checked = SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
            [[fallthrough]];
        case ControlKind::Button:
        case ControlKind::Label:
            // The system draws the mnemonic as an underline.
            shown.text = StripMnemonic(FromW(TextOf(w)));
            break;
        case ControlKind::Edit:
            shown.text = FromW(TextOf(w));
            break;
        default:
            break;
        }
        return shown;
    }
    Rows ShownRows(const Control& c) override
    {
        HWND w = W(c);
        Rows rows;
        LRESULT count = SendMessageW(w, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::u16string text(static_cast<size_t>(SendMessageW(w, LB_GETTEXTLEN, i, 0)) + 1, u'\0');
            text.resize(static_cast<size_t>(SendMessageW(w, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
            rows.texts.push_back(FromW(text));
        }
        rows.selected = static_cast<int>(SendMessageW(w, LB_GETCURSEL, 0, 0));
        rows.rowHeight = static_cast<int>(SendMessageW(w, LB_GETITEMHEIGHT, 0, 0));
        return rows;
    }
    int ShownDrive(const DriveCombo& drive) override { return static_cast<int>(SendMessageW(W(drive), CB_GETCURSEL, 0, 0)); }
    std::optional<std::vector<std::string>> ShownDrives(const DriveCombo& drive) override
    {
        std::vector<std::string> texts;
        LRESULT count = SendMessageW(W(drive), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t text[64] = {};
            SendMessageW(W(drive), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            texts.push_back(FromW(std::u16string(reinterpret_cast<const char16_t*>(text))));
        }
        return texts;
    }
    double ShownProgress(const ProgressBar& bar) override
    {
        LRESULT high = SendMessageW(W(bar), PBM_GETRANGE, FALSE, 0), low = SendMessageW(W(bar), PBM_GETRANGE, TRUE, 0);
        return high > low ? double(SendMessageW(W(bar), PBM_GETPOS, 0, 0) - low) / double(high - low) : -1;
    }
    double ProgressResolution() const override { return 1e-4; }

    bool OwnedBy(const Form& f, const Form* owner) override
    {
        HWND frame = Win32().WindowOf(f), ownerFrame = owner ? Win32().WindowOf(*owner) : nullptr;
        return frame && (!owner || ownerFrame) && GetWindow(frame, GW_OWNER) == ownerFrame;
    }
    bool IsActive(const Form& f) override { return GetActiveWindow() == Win32().WindowOf(f); }
    Box Placed(const Control& c) override
    {
        RECT r;
        GetWindowRect(W(c), &r);
        MapWindowPoints(HWND_DESKTOP, Win32().WindowOf(c.OwnerForm()), reinterpret_cast<POINT*>(&r), 2);
        return { r.left, r.top, r.right - r.left, r.bottom - r.top };
    }
    bool HeldBy(const Control& c, const Control* holder) override
    {
        HWND w = W(c);
        return w && GetParent(w) == (holder ? W(*holder) : Win32().WindowOf(c.OwnerForm()));
    }
    Box Frame(const Form& f) override
    {
        RECT r;
        GetWindowRect(Win32().WindowOf(f), &r);
        return { r.left, r.top, r.right - r.left, r.bottom - r.top };
    }
    Box Client(const Form& f) override
    {
        RECT r;
        GetClientRect(Win32().WindowOf(f), &r);
        POINT origin = { 0, 0 };
        ClientToScreen(Win32().WindowOf(f), &origin);
        return { origin.x, origin.y, r.right, r.bottom };
    }

private:
    // Posted input comes before a timer: a step's clicks arrive first.
    void After(int ms, std::function<void()> fn) override { timer_ = Later(ms, std::move(fn)); }
    void ClickOnRow(const DirectoryList& list, int row, bool twice)
    {
        HWND rows = W(list);
        RECT r;
        SendMessageW(rows, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        for (int i = 0; i < (twice ? 2 : 1); ++i) {
            PostMessageW(rows, i ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageW(rows, WM_LBUTTONUP, 0, at);
        }
    }

    Watchdog dog_;
    UINT_PTR timer_ = 0;
};

// Windows need a desktop (under Wine, an X display such as Xvfb): without
// one every case is skipped, and under CI it fails.
std::unique_ptr<BackendProbe> MakeProbe()
{
    if (!Win32Backend::DesktopAvailable()) {
        if (UnderCI())
            ADD_FAILURE() << "no desktop for windows under CI (Wine needs DISPLAY, e.g. Xvfb)";
        return nullptr;
    }
    return std::make_unique<Win32Probe>();
}

} // namespace

TARN_BACKEND_CONFORMANCE(Win32, ProbeMaker{ "win32", MakeProbe });
