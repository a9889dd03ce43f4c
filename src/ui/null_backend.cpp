#include "ui/null_backend.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <stdexcept>

#include "ui/message_dialog.h"

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
    closedUnscripted_.erase(&form);
}

void NullBackend::WaitForAction(Form& form, int timeoutMs)
{
    if (!steps_.empty()) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        closedUnscripted_.clear();
        waitedMs_.clear();
        step(form);
        return;
    }
    // A form that looks at something regularly gets a while to see it
    // before the unscripted answer.
    if (timeoutMs >= 0 && (waitedMs_[&form] += timeoutMs) <= kUnscriptedWaitMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return;
    }
    if (!closedUnscripted_.insert(&form).second)
        throw std::logic_error("test script ended while a form refused to close: " + form.Name());
    if (Button* answer = SafeAnswer(form))
        answer->Click();
    else
        form.CloseRequested();
}

void NullBackend::BringToFront(Form& form) { ++BroughtToFront[form.Name()]; }

std::optional<std::string> NullBackend::ChooseFile(Form&, const AnsiString& title, const StringList&)
{
    Log.push_back("file dialog: " + title);
    if (ChosenFiles.empty())
        return std::nullopt;
    std::optional<std::string> chosen = std::move(ChosenFiles.front());
    ChosenFiles.pop_front();
    return chosen;
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
