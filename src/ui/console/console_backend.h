// Forms as text for a terminal without a display, driven line by line from
// standard input. The protocol, which scripts and tests rely on:
//
// - When a form is shown or has changed, it is printed: an empty line, the
//   caption on its own line, then each visible control in creation (tab)
//   order: labels as their text; buttons as "[N] caption", check boxes as
//   "[N] [x] caption" or "[N] [ ] caption", radio buttons as "[N] (*) caption"
//   or "[N] ( ) caption", with "-" after N when disabled ("[3-] caption");
//   edits as "[N] caption: text"; list boxes as "[N] caption:" and one line
//   per item ("    k. item", "  > k. item" for the selected one); progress bars
//   as a text bar "[#####...............] 25%". Mnemonic ampersands are removed.
//   N numbers the form's buttons, check boxes, radio buttons, edits and list
//   boxes from 1 in that order, visible or not, so a number never changes.
// - Input lines: "N" clicks or toggles control N; "N=text" sets edit N (or
//   selects item number text of list box N); an empty line presses the
//   default button. A message box is a form like any other.
// - At the end of input the form is closed as by its close box; one that
//   still refuses to close is closed anyway, so a run never hangs.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "ui/backend.h"

namespace tarn::ui {

class ConsoleBackend : public Backend {
public:
    using ReadLine = std::function<platform::InputResult(std::string& line, int timeoutMs)>;
    using Write = std::function<void(std::string_view utf8)>;

    // Standard input and output by default.
    ConsoleBackend();
    ConsoleBackend(ReadLine read, Write write);

    const char* Name() const override { return "console"; }
    void ShowForm(Form& form) override;
    void HideForm(Form& form) override;
    void Update(Form& form, Control* control) override;
    void WaitForAction(Form& form) override;
    void ProcessMessages() override;

    // The text of a form as the protocol prints it (without the leading empty line).
    static std::string Render(const Form& form);
    // The controls that get numbers, in number order.
    static std::vector<Control*> NumberedControls(const Form& form);

private:
    void Print(Form& form);
    void Handle(Form& form, const std::string& line);

    ReadLine read_;
    Write write_;
    std::vector<Form*> stack_;
    std::map<Form*, bool> dirty_;
    std::map<Form*, int> endSeen_;
    std::chrono::steady_clock::time_point lastPrint_{};
};

} // namespace tarn::ui
