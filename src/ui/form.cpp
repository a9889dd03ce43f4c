#include "ui/form.h"

#include <algorithm>
#include <chrono>

#include "ui/application.h"

namespace tarn::ui {

Form::Form(AnsiString name) : name_(std::move(name)) { }

Form::~Form()
{
    if (shown_ && App().HasBackend())
        App().GetBackend().HideForm(*this);
    // Later controls may live on earlier pages: free them first.
    while (!owned_.empty())
        owned_.pop_back();
}

Page& Form::AddPage(PageControl& pages, AnsiString name)
{
    auto page = std::make_unique<Page>(pages, std::move(name));
    Page& ref = *page;
    owned_.push_back(std::move(page));
    return ref;
}

std::vector<Control*> Form::AllControls() const
{
    std::vector<Control*> all;
    for (const auto& c : owned_)
        all.push_back(c.get());
    return all;
}

Control* Form::Find(std::string_view name) const
{
    for (const auto& c : owned_)
        if (c->Name() == name)
            return c.get();
    return nullptr;
}

void Form::SetCaption(const AnsiString& c)
{
    if (c == caption_)
        return;
    caption_ = c;
    NotifyChanged(nullptr);
}

void Form::SetClientSize(int width, int height)
{
    if (width == clientWidth_ && height == clientHeight_)
        return;
    clientWidth_ = width, clientHeight_ = height;
    AlignChildren();
    NotifyChanged(nullptr);
}

void Form::SetFont(const FontSpec& f)
{
    font_ = f;
    NotifyChanged(nullptr);
}

void Form::RunCreate(const std::function<void()>& create) { App().Dispatch(create); }

void Form::NotifyChanged(Control* control)
{
    if (shown_ && App().HasBackend())
        App().GetBackend().Update(*this, control);
    if (OnModelChanged)
        OnModelChanged(control);
}

Button* Form::DefaultButton() const
{
    for (const auto& c : owned_)
        if (c->Kind() == ControlKind::Button && static_cast<Button*>(c.get())->Default())
            return static_cast<Button*>(c.get());
    return nullptr;
}

int Form::ShowModal()
{
    Backend& backend = App().GetBackend();
    modalResult_ = mrNone;
    forceClose_ = false;
    modal_ = shown_ = true;
    std::vector<Form*>& modalForms = App().modalForms_;
    modalForms.push_back(this);
    struct Hide {
        Form& form;
        Backend& backend;
        std::vector<Form*>& modalForms;
        ~Hide()
        {
            backend.HideForm(form);
            form.shown_ = form.modal_ = false;
            modalForms.erase(std::remove(modalForms.begin(), modalForms.end(), &form), modalForms.end());
        }
    } hide{ *this, backend, modalForms };
    backend.ShowForm(*this);
    const bool ticking = OnTick && TickMs > 0;
    auto nextTick = std::chrono::steady_clock::now() + std::chrono::milliseconds(TickAtOnce ? 0 : TickMs);
    for (;;) {
        if (ticking && modalResult_ == mrNone && std::chrono::steady_clock::now() >= nextTick) {
            App().Dispatch(OnTick);
            nextTick = std::chrono::steady_clock::now() + std::chrono::milliseconds(TickMs);
        }
        if (modalResult_ != mrNone) {
            if (modalResult_ == mrCancel && OnCloseQuery && !forceClose_) {
                bool canClose = true;
                App().Dispatch([&] { canClose = OnCloseQuery(); });
                if (!canClose) {
                    modalResult_ = mrNone;
                    continue;
                }
            }
            break;
        }
        int wait = -1;
        if (ticking)
            wait = static_cast<int>(std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                             nextTick - std::chrono::steady_clock::now()).count()));
        backend.WaitForAction(*this, wait);
    }
    return modalResult_;
}

void Form::Show()
{
    if (shown_)
        return;
    shown_ = true;
    App().GetBackend().ShowForm(*this);
}

void Form::Hide()
{
    if (!shown_)
        return;
    App().GetBackend().HideForm(*this);
    shown_ = false;
}

Form* Form::WindowOwner() const
{
    if (owner_ && owner_->IsShown())
        return owner_;
    const std::vector<Form*>& modalForms = App().ModalForms();
    auto self = std::find(modalForms.begin(), modalForms.end(), this);
    return self == modalForms.end() || self == modalForms.begin() ? nullptr : *(self - 1);
}

void Form::BringToFront()
{
    if (shown_ && App().HasBackend())
        App().GetBackend().BringToFront(*this);
}

void Form::SetModalResult(int r) { modalResult_ = r; }

void Form::ForceClose()
{
    forceClose_ = true;
    modalResult_ = mrCancel;
    if (!modal_) {
        Hide();
        if (OnClosed)
            OnClosed();
    }
}

void Form::CloseRequested()
{
    if (modal_) {
        SetModalResult(mrCancel);
        return;
    }
    bool canClose = true;
    if (OnCloseQuery)
        App().Dispatch([&] { canClose = OnCloseQuery(); });
    if (!canClose)
        return;
    Hide();
    if (OnClosed)
        OnClosed();
}

} // namespace tarn::ui
