// A form of the model: caption, client size, font, controls, modal result and
// the create and close-query events. Backends show it; ShowModal runs the
// modal loop through the application's backend.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ui/controls.h"

namespace tarn::ui {

enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrYes = 6, mrNo = 7 };

class Form : public Container {
public:
    explicit Form(AnsiString name);
    ~Form() override;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const AnsiString& Name() const { return name_; }
    Form& OwnerForm() override { return *this; }
    int ClientWidth() const override { return clientWidth_; }
    int ClientHeight() const override { return clientHeight_; }

    // Controls are owned by the form and placed in parent (the form or a page).
    // One added while the form is shown reaches the backend like any change.
    template <typename T>
    T& Add(AnsiString name, Container* parent = nullptr)
    {
        auto control = std::make_unique<T>(parent ? *parent : *this, std::move(name));
        T& ref = *control;
        owned_.push_back(std::move(control));
        NotifyChanged(&ref);
        return ref;
    }
    Page& AddPage(PageControl& pages, AnsiString name);
    // Every control in creation order (which is the tab order of the program's forms).
    std::vector<Control*> AllControls() const;
    Control* Find(std::string_view name) const;
    template <typename T>
    T& Get(std::string_view name) const
    {
        return dynamic_cast<T&>(*Find(name));
    }

    const AnsiString& Caption() const { return caption_; }
    void SetCaption(const AnsiString& c);
    void SetClientSize(int width, int height);
    const FontSpec& Font() const { return font_; }
    void SetFont(const FontSpec& f);
    TColor Color = clBtnFace;
    // False: a dialog without the system menu and the close box.
    bool BorderIcons = true;
    // The modal result a form takes when nobody can act on it any more (a
    // message box whose safe answer is not SafeAnswer's rule); mrNone: none.
    int Unanswered = mrNone;

    // Runs the form's creation code under the error report: an exception
    // shows an error box and the rest of that code is skipped.
    void RunCreate(const std::function<void()>& create);

    // The form this one belongs to (the wizard's is the backdrop): a modal
    // form keeps its owner disabled and stands in front of it.
    Form* Owner() const { return owner_; }
    void SetOwner(Form* owner) { owner_ = owner; }
    // The shown form whose window this form's window belongs to: its owner
    // while that is shown, else for a modal form the modal form it
    // interrupts (the innermost one shown before it); null when none.
    Form* WindowOwner() const;
    // Puts the shown form in front of the other windows (after a program the
    // run started may have come to the front).
    void BringToFront();

    // Shows the form and waits until its modal result is set; a Cancel result
    // first asks OnCloseQuery. The form is hidden again afterwards.
    int ShowModal();
    // Shows without waiting; Hide takes it away.
    void Show();
    void Hide();
    bool IsShown() const { return shown_; }
    bool IsModal() const { return modal_; }

    int GetModalResult() const { return modalResult_; }
    void SetModalResult(int r);
    // The window's close box (or the end of console input). A modal form
    // gets Cancel, which its close query may refuse; a form that must answer
    // the close box at once (during a run) overrides this.
    virtual void CloseRequested();
    // Ends the modal loop with Cancel without asking OnCloseQuery: for a
    // backend that can get no more input from anyone.
    void ForceClose();

    std::function<bool()> OnCloseQuery; // false keeps the form open
    // While the form is shown modally, OnTick runs about every TickMs (when
    // both are set): a form that watches for something without a click.
    std::function<void()> OnTick;
    int TickMs = 0;
    // The first OnTick comes as soon as the form shows, before any action is taken.
    bool TickAtOnce = false;
    // Text typed at the form that names none of its controls (the console):
    // true when the form took it.
    std::function<bool(const AnsiString& text)> OnTypedText;
    std::function<void()> OnClosed;     // a modeless form closed by its close box

    // Every change of the form or one of its controls goes to the backend while
    // the form is shown, and to this hook (tests, previews).
    std::function<void(Control*)> OnModelChanged;
    void NotifyChanged(Control* control);
    // The button that an empty line or the Enter key presses.
    Button* DefaultButton() const;

private:
    AnsiString name_;
    AnsiString caption_;
    Form* owner_ = nullptr;
    int clientWidth_ = 0, clientHeight_ = 0;
    FontSpec font_;
    std::vector<std::unique_ptr<Control>> owned_;
    int modalResult_ = mrNone;
    bool shown_ = false, modal_ = false, forceClose_ = false;
};

} // namespace tarn::ui
