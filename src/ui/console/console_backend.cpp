#include "ui/console/console_backend.h"

#include <algorithm>

#include "base/codepage.h"
#include "ui/application.h"
#include "ui/directory_list.h"
#include "ui/message_dialog.h"

namespace tarn::ui {

namespace {

std::string Text(std::string_view cp932) { return AnsiToHostUtf8(cp932); }

bool Numbered(ControlKind k)
{
    return k == ControlKind::Button || k == ControlKind::CheckBox || k == ControlKind::RadioButton || k == ControlKind::Edit ||
           k == ControlKind::ListBox || k == ControlKind::DirectoryList || k == ControlKind::DriveCombo;
}

// "123" -> 123; anything else (empty, signs, other characters, too long) -> -1.
int Number(std::string_view digits)
{
    if (digits.empty() || digits.size() > 6)
        return -1;
    int n = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9')
            return -1;
        n = n * 10 + (ch - '0');
    }
    return n;
}

std::string Trimmed(const std::string& raw)
{
    size_t start = raw.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::string();
    size_t end = raw.find_last_not_of(" \t");
    return raw.substr(start, end - start + 1);
}

// A line split as the protocol reads it: "N", "N.K" or "N=value".
struct Command {
    int number = -1;  // -1: not a control number
    int entry = -1;   // K of "N.K"; -1 when absent
    bool dotted = false;
    bool hasValue = false;
    std::string value;
};

Command Parse(const std::string& line)
{
    Command cmd;
    size_t eq = line.find('=');
    std::string head = line.substr(0, eq);
    if (eq != std::string::npos) {
        cmd.hasValue = true;
        cmd.value = line.substr(eq + 1);
    }
    size_t dot = head.find('.');
    cmd.number = Number(std::string_view(head).substr(0, dot));
    if (dot != std::string::npos) {
        cmd.dotted = true;
        cmd.entry = Number(std::string_view(head).substr(dot + 1));
    }
    return cmd;
}

// A directory list's directory as its header shows it: the host form on
// POSIX, without the slash the host form of a drive's root ends in.
std::string DirectoryText(const AnsiString& dir)
{
    std::string shown = platform::DisplayPath(dir);
    while (shown.size() > 1 && shown.back() == '/')
        shown.pop_back();
    return shown;
}

// "D", "d:" or "D:\" -> 'D'; 0 for anything else.
char DriveInput(const std::string& text)
{
    std::string t = Trimmed(text);
    bool letter = !t.empty() && ((t[0] | 0x20) >= 'a' && (t[0] | 0x20) <= 'z');
    if (!letter || !(t.size() == 1 || (t[1] == ':' && (t.size() == 2 || (t.size() == 3 && t[2] == '\\')))))
        return 0;
    return static_cast<char>(t[0] & ~0x20);
}

} // namespace

ConsoleBackend::ConsoleBackend()
    : ConsoleBackend([](std::string& line, int timeoutMs) { return platform::ReadStdinLine(line, timeoutMs); },
                     [](std::string_view text) { platform::WriteStdout(text); })
{
}

ConsoleBackend::ConsoleBackend(ReadLine read, Write write) : read_(std::move(read)), write_(std::move(write)) { }

std::vector<Control*> ConsoleBackend::NumberedControls(const Form& form)
{
    std::vector<Control*> out;
    for (Control* c : form.AllControls())
        if (Numbered(c->Kind()))
            out.push_back(c);
    return out;
}

std::string ConsoleBackend::Render(const Form& form)
{
    std::vector<Control*> numbered = NumberedControls(form);
    auto number = [&](Control* c) {
        int n = static_cast<int>(std::find(numbered.begin(), numbered.end(), c) - numbered.begin()) + 1;
        return "[" + std::to_string(n) + (c->Enabled() ? "" : "-") + "] ";
    };
    std::string out = Text(form.Caption()) + "\n";
    for (Control* c : form.AllControls()) {
        if (!c->Showing())
            continue;
        std::string caption = Text(StripMnemonic(c->Caption()));
        switch (c->Kind()) {
        case ControlKind::Label:
            if (!c->Caption().empty())
                out += Text(c->Caption()) + "\n";
            break;
        case ControlKind::Button:
            out += number(c) + caption + "\n";
            break;
        case ControlKind::CheckBox:
            out += number(c) + (static_cast<CheckControl*>(c)->Checked() ? "[x] " : "[ ] ") + caption + "\n";
            break;
        case ControlKind::RadioButton:
            out += number(c) + (static_cast<CheckControl*>(c)->Checked() ? "(*) " : "( ) ") + caption + "\n";
            break;
        case ControlKind::Edit:
            out += number(c) + (caption.empty() ? Text(c->Name()) : caption) + ": " + Text(static_cast<Edit*>(c)->Text()) + "\n";
            break;
        case ControlKind::ListBox: {
            auto* list = static_cast<ListBox*>(c);
            out += number(c) + (caption.empty() ? Text(c->Name()) : caption) + ":\n";
            for (size_t i = 0; i < list->Items().size(); ++i)
                out += std::string(static_cast<int>(i) == list->ItemIndex() ? "  > " : "    ") + std::to_string(i + 1) + ". " +
                       Text(list->Items()[i]) + "\n";
            break;
        }
        case ControlKind::DirectoryList: {
            auto* list = static_cast<DirectoryList*>(c);
            out += number(c) + (caption.empty() ? Text(c->Name()) : caption) + ": " + DirectoryText(list->Directory()) + "\n";
            int n = static_cast<int>(std::find(numbered.begin(), numbered.end(), c) - numbered.begin()) + 1;
            for (size_t k = 0; k < list->Items().size(); ++k) {
                const DirectoryList::Entry& e = list->Items()[k];
                out += std::string(4 + 2 * static_cast<size_t>(std::max(e.Level, 0)), ' ') + "[" + std::to_string(n) + "." +
                       std::to_string(k + 1) + "] " + Text(e.Text) + "\n";
            }
            break;
        }
        case ControlKind::DriveCombo: {
            auto* drive = static_cast<DriveCombo*>(c);
            out += number(c) + (caption.empty() ? Text(c->Name()) : caption) + ": " + std::string(1, drive->Drive()) + ":\n";
            break;
        }
        case ControlKind::ProgressBar:
            out += TextProgressBar(static_cast<ProgressBar*>(c)->Percent()) + "\n";
            break;
        default:
            break;
        }
    }
    return out;
}

void ConsoleBackend::Print(Form& form)
{
    write_("\n" + Render(form));
    dirty_[&form] = false;
    lastPrint_ = std::chrono::steady_clock::now();
    App().FirstPaintDone();
}

void ConsoleBackend::ShowForm(Form& form)
{
    stack_.push_back(&form);
    Print(form);
}

void ConsoleBackend::HideForm(Form& form)
{
    stack_.erase(std::remove(stack_.begin(), stack_.end(), &form), stack_.end());
    dirty_.erase(&form);
    endSeen_.erase(&form);
    // The form underneath shows again.
    if (!stack_.empty())
        dirty_[stack_.back()] = true;
}

void ConsoleBackend::Update(Form& form, Control*)
{
    if (std::find(stack_.begin(), stack_.end(), &form) != stack_.end())
        dirty_[&form] = true;
}

Control* ConsoleBackend::Target(const Form& form, const std::string& raw)
{
    std::string line = Trimmed(raw);
    if (line.empty())
        return form.DefaultButton();
    Command cmd = Parse(line);
    std::vector<Control*> numbered = NumberedControls(form);
    if (cmd.number < 1 || cmd.number > static_cast<int>(numbered.size()))
        return nullptr;
    return numbered[static_cast<size_t>(cmd.number) - 1];
}

bool ConsoleBackend::Usable(const Form& form, const std::string& line)
{
    Control* c = Target(form, line);
    return c && c->Showing() && c->Enabled();
}

void ConsoleBackend::Handle(Form& form, const std::string& raw)
{
    std::string line = Trimmed(raw);
    Control* c = Target(form, line);
    if (line.empty()) {
        if (c)
            c->Click();
        return;
    }
    if (!c || !c->Showing() || !c->Enabled()) {
        write_("?\n");
        return;
    }
    Command cmd = Parse(line);
    bool done = false;
    switch (c->Kind()) {
    case ControlKind::Edit:
        if (cmd.hasValue && !cmd.dotted) {
            static_cast<Edit*>(c)->UserSetText(HostUtf8ToAnsi(cmd.value));
            done = true;
        }
        break;
    case ControlKind::ListBox: {
        int item = Number(cmd.value);
        if (cmd.hasValue && !cmd.dotted && item >= 1 && item <= static_cast<int>(static_cast<ListBox*>(c)->Items().size())) {
            static_cast<ListBox*>(c)->UserSelect(item - 1);
            done = true;
        }
        break;
    }
    case ControlKind::DirectoryList: {
        auto* list = static_cast<DirectoryList*>(c);
        if (cmd.dotted && !cmd.hasValue)
            done = cmd.entry >= 1 && list->UserChoose(cmd.entry - 1);
        else if (cmd.hasValue && !cmd.dotted && !Trimmed(cmd.value).empty())
            done = list->UserSetDirectory(platform::PathFromTyped(Trimmed(cmd.value)));
        break;
    }
    case ControlKind::DriveCombo: {
        auto* drive = static_cast<DriveCombo*>(c);
        char letter = cmd.hasValue && !cmd.dotted ? DriveInput(cmd.value) : 0;
        // The drive already shown is no refusal: nothing to change.
        done = letter != 0 && (letter == drive->Drive() || drive->UserChoose(letter));
        break;
    }
    default:
        if (!cmd.hasValue && !cmd.dotted) {
            c->Click();
            done = true;
        }
        break;
    }
    if (!done)
        write_("?\n");
}

void ConsoleBackend::WaitForAction(Form& form)
{
    if (dirty_[&form])
        Print(form);
    std::string line;
    // What was typed during a long run for a form that was not there yet
    // comes first, in the order it was typed.
    platform::InputResult got = platform::InputResult::Line;
    if (!queue_.empty()) {
        line = std::move(queue_.front());
        queue_.pop_front();
    } else {
        got = read_(line, -1);
    }
    switch (got) {
    case platform::InputResult::Line:
        endSeen_[&form] = 0;
        Handle(form, line);
        break;
    case platform::InputResult::End:
        // Nobody can answer any more. A message box takes the answer that
        // cannot bring the question back; another form gets the close box,
        // and if it insists on staying, it is closed anyway.
        if (endSeen_[&form]++ == 0) {
            if (Button* answer = SafeAnswer(form)) {
                write_("(end of input) " + Text(StripMnemonic(answer->Caption())) + "\n");
                answer->Click();
            } else {
                form.CloseRequested();
            }
        } else {
            form.ForceClose();
        }
        break;
    case platform::InputResult::Timeout:
        break;
    }
}

void ConsoleBackend::ProcessMessages()
{
    if (stack_.empty())
        return;
    Form& top = *stack_.back();
    // Only input for this form is handled now; a line for another form (a
    // message box the run will ask, the form after this one) waits, and
    // everything after it waits behind it.
    std::string line;
    if (queue_.empty() && read_(line, 0) == platform::InputResult::Line) {
        if (Usable(top, line))
            Handle(top, line);
        else
            queue_.push_back(std::move(line));
    }
    // Long runs change labels and bars often: print at most a few times a second.
    if (dirty_[&top] && std::chrono::steady_clock::now() - lastPrint_ > std::chrono::milliseconds(250))
        Print(top);
}

} // namespace tarn::ui
