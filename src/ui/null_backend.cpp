#include "ui/null_backend.h"

#include <algorithm>
#include <stdexcept>

namespace tarn::ui {

void NullBackend::ShowForm(Form& form)
{
    AnsiString entry = form.Caption();
    if (form.Name() == "MessageDlg")
        if (Control* text = form.Find("Message"))
            entry += ": " + text->Caption();
    Log.push_back(entry);
    open_.push_back(&form);
}

void NullBackend::HideForm(Form& form)
{
    open_.erase(std::remove(open_.begin(), open_.end(), &form), open_.end());
    if (closedUnscripted_ == &form)
        closedUnscripted_ = nullptr;
}

void NullBackend::WaitForAction(Form& form)
{
    if (!steps_.empty()) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        closedUnscripted_ = nullptr;
        step(form);
        return;
    }
    if (closedUnscripted_ == &form)
        throw std::logic_error("test script ended while a form refused to close: " + form.Name());
    closedUnscripted_ = &form;
    form.CloseRequested();
}

void NullBackend::ProcessMessages()
{
    if (OnProcessMessages)
        OnProcessMessages();
}

void ClickControl(Form& form, std::string_view name)
{
    Control* c = form.Find(name);
    if (!c)
        throw std::logic_error("no control " + std::string(name) + " on " + form.Name());
    c->Click();
}

void AnswerMessage(Form& form, int modalResult)
{
    for (Control* c : form.AllControls())
        if (c->Kind() == ControlKind::Button && static_cast<Button*>(c)->ModalResult == modalResult) {
            c->Click();
            return;
        }
    throw std::logic_error("no button with that result on " + form.Name());
}

} // namespace tarn::ui
