// The Qt 6 Widgets backend: every form a top-level window, every control an
// absolutely placed widget, the form font mapped to a Japanese proportional
// gothic. Runs on a display or offscreen (QT_QPA_PLATFORM=offscreen).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "ui/backend.h"

class QWidget;

namespace tarn::ui {

class QtBackend : public Backend {
public:
    QtBackend();
    ~QtBackend() override;

    const char* Name() const override { return "qt"; }
    void ShowForm(Form& form) override;
    void HideForm(Form& form) override;
    void Update(Form& form, Control* control) override;
    void WaitForAction(Form& form, int timeoutMs) override;
    void ProcessMessages() override;
    void BringToFront(Form& form) override;
    void BringProgramToFront() override;
    int DesktopWidth() const override;
    int DesktopHeight() const override;

    // The window of a shown form and the widget of one of its controls (tests).
    QWidget* WindowOf(const Form& form) const;
    std::optional<std::string> ChooseFile(Form& owner, const AnsiString& title, const StringList& filters) override;
    QWidget* WidgetOf(const Control& control) const;
    // A picture of the form's client area as it is on screen, saved as PNG.
    bool Grab(const Form& form, const std::string& pngPath);
    // The font family that stands in for a font name of the forms.
    static std::string FamilyFor(const AnsiString& name);
    // Whether Qt can open a window system here; where it surely cannot, why
    // (a display that does not answer, a Wayland session without Qt's plugin).
    static bool DisplayUsable(std::string& why);
    // Set where the windows could not be opened after all and the program
    // started again on the console: the note to show once.
    static const char* kRestartedVariable;

private:
    struct FormView;
    // The widget of a control, made on first use (a control may be added to
    // a form that is already shown), inside its page's widget when it has one.
    QWidget* WidgetFor(Form& form, FormView& view, Control* control);
    QWidget* CreateWidget(FormView& view, Control* control, QWidget* parent);
    // The window (unless only one control changed) and the widgets.
    void Sync(Form& form, FormView& view, Control* only);
    void SyncControl(Form& form, QWidget* widget, Control* control);
    std::map<const Form*, std::unique_ptr<FormView>> views_;
};

} // namespace tarn::ui
