// The Win32 backend: every form a fixed dialog frame, every control a native
// child window placed at the model's pixels, text through the W functions and
// a SHIFTJIS_CHARSET font so that Japanese shows under any system locale.
// Graphic controls (paint boxes, gradient boxes) have no window of their own:
// the form or page they lie on draws them from their surfaces.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/backend.h"

// The handle types of <windows.h>, without pulling that header into every
// program that can choose this backend.
struct HWND__;
struct HFONT__;
struct HBRUSH__;
struct tagMSG;

namespace tarn {
class TDIBSurface;
}

namespace tarn::ui {

class Win32Backend : public Backend {
public:
    Win32Backend();
    ~Win32Backend() override;
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;

    const char* Name() const override { return "win32"; }
    void ShowForm(Form& form) override;
    void HideForm(Form& form) override;
    void Update(Form& form, Control* control) override;
    void WaitForAction(Form& form, int timeoutMs) override;
    void ProcessMessages() override;
    void BringToFront(Form& form) override;
    std::optional<std::string> ChooseFile(Form& owner, const AnsiString& title, const StringList& filters) override;
    int DesktopWidth() const override;
    int DesktopHeight() const override;

    // Whether this process sits on a window station with a visible desktop
    // on which windows can be made (a service or a display-less Wine has none).
    static bool DesktopAvailable();

    // The frame of a shown form and the window of one of its controls (tests,
    // screenshots); null for a graphic control, which has none.
    HWND__* WindowOf(const Form& form) const;
    HWND__* WindowOf(const Control& control) const;
    // A picture of the form's client area as it is on screen, children
    // included, at 24 bits. False when the form is not shown.
    bool Grab(const Form& form, TDIBSurface& picture);
    // The same picture saved as the file name's extension says (.bmp, or
    // .png where the build writes PNG).
    bool Grab(const Form& form, const AnsiString& fileName);

private:
    // The windows of one shown form.
    struct FormView;
    // The window procedures and what they share (defined with them).
    struct Procs;
    HWND__* WindowFor(FormView& view, Control* control);
    HWND__* CreateControlWindow(FormView& view, Control* control, HWND__* parent);
    // The frame (unless only one control changed) and the controls' windows.
    void Sync(FormView& view, Control* only);
    void SyncControl(FormView& view, Control* control, HWND__* window);
    void PlaceFrame(FormView& view, bool centre);
    void Retire(std::unique_ptr<FormView> view);
    void Release(FormView* view);
    // The message goes through the dialog keys of its form, else to its window.
    void Deliver(tagMSG& msg);
    HFONT__* FontFor(const AnsiString& name, int height);
    HBRUSH__* BrushFor(uint32_t colorRef);
    FormView* ViewOf(const Form& form) const;

    std::map<const Form*, std::unique_ptr<FormView>> views_;
    // Views whose forms went away while one of their windows was still
    // handling a message: freed when it returns.
    std::vector<std::unique_ptr<FormView>> retired_;
    std::map<std::pair<AnsiString, int>, HFONT__*> fonts_;
    std::map<uint32_t, HBRUSH__*> brushes_;
};

} // namespace tarn::ui
