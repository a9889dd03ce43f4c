// What a window system has to offer the model: show and hide forms, keep
// them in step with the model, wait for a person's next action, and pump
// pending events during long runs.
#pragma once

#include <optional>
#include <string>

#include "ui/form.h"

namespace tarn::ui {

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* Name() const = 0;

    virtual void ShowForm(Form& form) = 0;
    virtual void HideForm(Form& form) = 0;
    // The model of form (or of one control, when given) changed.
    virtual void Update(Form& form, Control* control) = 0;
    // Waits for and handles at least one action on the form being waited for
    // (modal loop). Must not return without progress forever: a backend that
    // can get no more input closes the form as its close box would. With
    // timeoutMs >= 0 it may return after that long without an action (a form
    // that looks at something regularly).
    virtual void WaitForAction(Form& form, int timeoutMs) = 0;
    // Handles what is pending, without waiting (long runs call it).
    virtual void ProcessMessages() = 0;
    // Puts a shown form in front of the other windows.
    virtual void BringToFront(Form&) { }
    // From any thread: the foremost of the program's windows comes in front
    // of the other programs' (a later start of the program asked for it).
    virtual void BringProgramToFront() { }
    // The system's dialog for choosing a file, over owner: the path chosen
    // (host text, UTF-8), none when the person cancels or the backend has no
    // such dialog (the console, where a path is typed instead). filters:
    // "name (*.x *.y)" entries, the first shown first.
    virtual std::optional<std::string> ChooseFile(Form& /*owner*/, const AnsiString& /*title*/, const StringList& /*filters*/)
    {
        return std::nullopt;
    }
    // Size of the desktop, for centring forms.
    virtual int DesktopWidth() const { return 1024; }
    virtual int DesktopHeight() const { return 768; }
};

} // namespace tarn::ui
