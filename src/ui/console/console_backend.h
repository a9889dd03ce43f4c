// Forms as text for a terminal without a display, driven line by line from
// standard input. The protocol, which scripts and tests rely on:
//
// - When a form is shown or has changed, it is printed: an empty line, the
//   caption on its own line, then each visible control in creation (tab)
//   order: labels as their text; buttons as "[N] caption", check boxes as
//   "[N] [x] caption" or "[N] [ ] caption", radio buttons as "[N] (*) caption"
//   or "[N] ( ) caption", with "-" after N when disabled ("[3-] caption");
//   edits as "[N] caption: text"; list boxes as "[N] caption:" and one line
//   per item ("    k. item", "  > k. item" for the selected one); directory
//   lists as "[N] caption: directory" and one line per entry, numbered from
//   1 and indented by two spaces per level beyond four ("    [N.1] /home/me",
//   "      [N.2] Games"); drive lists as "[N] caption: place" and one line
//   per place, as list boxes' items ("  > 1. /home/me", "    2. /"; a drive
//   on Windows: "C:"); progress bars as
//   a text bar "[#####...............] 25%". A control without a caption
//   shows its name instead. Directories are host paths on POSIX, program
//   paths on Windows. Mnemonic ampersands are removed.
//   N numbers the form's buttons, check boxes, radio buttons, edits, list
//   boxes, directory lists and drive lists from 1 in creation order, visible
//   or not, so a number never changes while the form lives (a control added
//   to the form's code shifts the numbers after it).
// - Input lines: "N" clicks or toggles control N; "N=text" sets edit N (or
//   selects item number text of list box N); "N=PATH" moves directory list N
//   to a host path (/home/me/x, or relative to its directory) or a drive path
//   (C:\x); "N.K" opens entry K of directory list N; "N=K" chooses place K
//   of drive list N, "N=D" the root of drive D, "N=PATH" the place of that
//   path (/media/me/DISC); an empty line presses the default button. In place of
//   N a line may name the control by its name ("btnNext",
//   "EditDir=/home/me/x", "Directory.3", "Drive=D") or by its caption as
//   printed, without the mnemonic ampersand ("次へ(N) >", "インストール"),
//   so that a script that names its controls survives a new control. A
//   number is read as a number first; then the line, or its part before
//   "=" or before the last ".", is looked for among the names, then among
//   the captions, of the showing, enabled numbered controls; a caption that
//   more than one of them shows names none. A line that names no control
//   goes to a form that takes typed text (Form::OnTypedText: the disc
//   prompt takes a path); one that its form or control refuses, or that
//   names a control not showing or not enabled, prints "?". After a line
//   the form is printed again only when what it shows has changed. A
//   message box is a form like any other.
// - While a long run processes messages, only a line for a showing, enabled
//   control of the form that runs is handled (an empty line only when its
//   default button is showing and enabled). Any other line waits, with
//   everything typed after it, for the next form that waits for input (a
//   message box the run asks, or the form itself after the run).
// - At the end of input a message box gives its safe answer at once (No,
//   else Cancel, else Abort, else OK) and prints "(end of input) answer";
//   any other form is closed as by its close box, and one that still refuses
//   to close is closed anyway, so a run never hangs.
#pragma once

#include <chrono>
#include <deque>
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
    void WaitForAction(Form& form, int timeoutMs) override;
    void ProcessMessages() override;

    // The text of a form as the protocol prints it (without the leading empty line).
    static std::string Render(const Form& form);
    // The controls that get numbers, in number order.
    static std::vector<Control*> NumberedControls(const Form& form);
    // The forms shown, in the order they were shown.
    const std::vector<Form*>& OpenForms() const { return stack_; }

private:
    struct Command;
    void Print(Form& form);
    void Handle(Form& form, const std::string& line);
    // Does what the line says; false when nothing takes it.
    static bool Perform(Control& control, const Command& command);
    // What a line says, and the control it is meant for (the default button
    // for an empty line).
    static Command Read(const Form& form, const std::string& line);
    // The line is for a control of form that can take it now.
    static bool Usable(const Form& form, const std::string& line);

    ReadLine read_;
    Write write_;
    std::vector<Form*> stack_;
    std::deque<std::string> queue_; // lines read during runs, not for the form that was busy
    std::map<Form*, bool> dirty_;
    std::map<Form*, std::string> printed_; // what each form showed last
    std::map<Form*, int> endSeen_;
    std::chrono::steady_clock::time_point lastPrint_{};
};

} // namespace tarn::ui
