// A backend without output for tests: the test scripts what a person does,
// one step per wait of a modal loop, and reads the model back.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/backend.h"

namespace tarn::ui {

class NullBackend : public Backend {
public:
    using Step = std::function<void(Form&)>;

    const char* Name() const override { return "null"; }
    // Queues what happens at the next wait of a modal loop (the form waited for is passed).
    void Then(Step step) { steps_.push_back(std::move(step)); }
    // Called at every ProcessMessages (a click in the middle of a long run).
    std::function<void()> OnProcessMessages;

    void ShowForm(Form& form) override;
    void HideForm(Form& form) override;
    void Update(Form&, Control*) override { }
    // Runs the next step. Without one a message box gets its safe answer
    // (SafeAnswer) and any other form is closed as by its close box; if it is
    // still open at the next wait the script was too short: that raises
    // std::logic_error instead of hanging.
    void WaitForAction(Form& form, int timeoutMs) override;
    void ProcessMessages() override;
    void BringToFront(Form& form) override;
    void BringProgramToFront() override { ++ProgramBroughtToFront; }
    std::atomic<int> ProgramBroughtToFront{ 0 };
    // The next answer of the file dialog (none: cancelled), taken in order;
    // without one the dialog is cancelled.
    std::optional<std::string> ChooseFile(Form& owner, const AnsiString& title, const StringList& filters) override;
    std::deque<std::optional<std::string>> ChosenFiles;

    // Every form shown, in order, as "caption" (message boxes: "caption: text").
    std::vector<AnsiString> Log;
    const std::vector<Form*>& OpenForms() const { return open_; }
    size_t PendingSteps() const { return steps_.size(); }
    // How often each form (by name) was asked to come to the front.
    std::map<AnsiString, int> BroughtToFront;

private:
    std::deque<Step> steps_;
    std::vector<Form*> open_;
    // Forms closed without a script since the last step; a message box
    // asked by a close query does not clear its form's mark.
    std::set<Form*> closedUnscripted_;
    // How long each ticking form has waited without a script step.
    std::map<Form*, int> waitedMs_;
    static constexpr int kUnscriptedWaitMs = 3000;
};

// Script helpers: click a control by name, or a message box button by its
// modal result.
void ClickControl(Form& form, std::string_view name);
void AnswerMessage(Form& form, int modalResult);

} // namespace tarn::ui
