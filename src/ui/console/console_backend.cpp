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

// The parts of a line after the control it names: "", ".K" or "=value".
struct Parts {
    std::string head; // what names the control
    bool dotted = false;
    int entry = -1; // K of ".K"; -1 when it is no number
    bool hasValue = false;
    std::string value;
};

// "head" alone.
Parts Plain(const std::string& line)
{
    Parts parts;
    parts.head = line;
    return parts;
}

// "head=value": the value is everything after the first "=".
Parts WithValue(const std::string& line, size_t eq)
{
    Parts parts = Plain(line.substr(0, eq));
    parts.hasValue = true;
    parts.value = line.substr(eq + 1);
    return parts;
}

// "head.K".
Parts WithEntry(const std::string& line, size_t dot)
{
    Parts parts = Plain(line.substr(0, dot));
    parts.dotted = true;
    parts.entry = Number(line.substr(dot + 1));
    return parts;
}

// The ways a line can be read when it does not start with a number: all of
// it naming a control, the part before "=", the part before the last ".".
std::vector<Parts> Readings(const std::string& line)
{
    std::vector<Parts> readings{ Plain(line) };
    if (size_t eq = line.find('='); eq != std::string::npos)
        readings.push_back(WithValue(line, eq));
    std::string head = line.substr(0, line.find('='));
    if (size_t dot = head.rfind('.'); dot != std::string::npos && Number(head.substr(dot + 1)) >= 0)
        readings.push_back(WithEntry(line, dot));
    return readings;
}

// The caption a person reads for a control, as the console prints it.
std::string ShownCaption(const Control& c) { return Trimmed(Text(StripMnemonic(c.Caption()))); }

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
            out += number(c) + (caption.empty() ? Text(c->Name()) : caption) + ": " + drive->PlaceText(drive->PlaceIndex()) + "\n";
            for (int k = 0; k < static_cast<int>(drive->Places().size()); ++k)
                out += std::string(k == drive->PlaceIndex() ? "  > " : "    ") + std::to_string(k + 1) + ". " + drive->PlaceText(k) + "\n";
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
    std::string text = Render(form);
    write_("\n" + text);
    printed_[&form] = std::move(text);
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
    printed_.erase(&form);
    endSeen_.erase(&form);
    // The form underneath shows again.
    if (!stack_.empty()) {
        dirty_[stack_.back()] = true;
        printed_.erase(stack_.back());
    }
}

void ConsoleBackend::Update(Form& form, Control*)
{
    if (std::find(stack_.begin(), stack_.end(), &form) != stack_.end())
        dirty_[&form] = true;
}

struct ConsoleBackend::Command {
    Control* control = nullptr;
    Parts parts;
};

ConsoleBackend::Command ConsoleBackend::Read(const Form& form, const std::string& raw)
{
    std::string line = Trimmed(raw);
    if (line.empty())
        return { form.DefaultButton(), {} };
    std::vector<Control*> numbered = NumberedControls(form);
    // A number: the control of that number, whatever its state.
    size_t eq = line.find('=');
    std::string head = line.substr(0, eq);
    size_t dot = head.find('.');
    if (int n = Number(head.substr(0, dot)); n >= 0) {
        Parts parts = eq != std::string::npos ? WithValue(line, eq) : dot != std::string::npos ? WithEntry(line, dot) : Plain(line);
        if (eq != std::string::npos && dot != std::string::npos)
            parts.dotted = true; // "N.K=x" is no command
        return { n >= 1 && n <= static_cast<int>(numbered.size()) ? numbered[static_cast<size_t>(n) - 1] : nullptr, parts };
    }
    // Else a name, then a caption, among the controls a person can use now.
    std::vector<Control*> usable;
    for (Control* c : numbered)
        if (c->Showing() && c->Enabled())
            usable.push_back(c);
    std::vector<Parts> readings = Readings(line);
    for (auto matches : { +[](const Control& c, const std::string& key) { return Text(c.Name()) == key; },
                          +[](const Control& c, const std::string& key) { return !key.empty() && ShownCaption(c) == Trimmed(key); } })
        for (const Parts& parts : readings) {
            Control* found = nullptr;
            int count = 0;
            for (Control* c : usable)
                if (matches(*c, parts.head))
                    found = c, ++count;
            if (count == 1)
                return { found, parts };
            if (count > 1)
                return {}; // ambiguous: names none
        }
    return {};
}

bool ConsoleBackend::Usable(const Form& form, const std::string& line)
{
    Control* c = Read(form, line).control;
    return c && c->Showing() && c->Enabled();
}

bool ConsoleBackend::Perform(Control& c, const Command& cmd)
{
    const Parts& parts = cmd.parts;
    bool plain = !parts.hasValue && !parts.dotted, valued = parts.hasValue && !parts.dotted;
    switch (c.Kind()) {
    case ControlKind::Edit:
        if (valued)
            static_cast<Edit&>(c).UserSetText(HostUtf8ToAnsi(parts.value));
        return valued;
    case ControlKind::ListBox: {
        auto& list = static_cast<ListBox&>(c);
        int item = Number(parts.value);
        if (!valued || item < 1 || item > static_cast<int>(list.Items().size()))
            return false;
        list.UserSelect(item - 1);
        return true;
    }
    case ControlKind::DirectoryList: {
        auto& list = static_cast<DirectoryList&>(c);
        if (parts.dotted && !parts.hasValue)
            return parts.entry >= 1 && list.UserChoose(parts.entry - 1);
        return valued && !Trimmed(parts.value).empty() && list.UserSetDirectory(platform::PathFromTyped(Trimmed(parts.value)));
    }
    case ControlKind::DriveCombo: {
        auto& drive = static_cast<DriveCombo&>(c);
        if (!valued)
            return false;
        // A place by its number, a drive by its letter, or a place by its path.
        std::string value = Trimmed(parts.value);
        int k = Number(value) - 1;
        if (k < 0 || k >= static_cast<int>(drive.Places().size())) {
            char letter = DriveInput(value);
            k = letter ? drive.PlaceOfDrive(letter) : -1;
        }
        if (k < 0 && !value.empty()) {
            AnsiString typed = platform::PathFromTyped(value);
            for (size_t i = 0; k < 0 && i < drive.Places().size(); ++i)
                if (SameText(drive.Places()[i], typed))
                    k = static_cast<int>(i);
        }
        // The place already shown is no refusal: nothing to change.
        return k >= 0 && (k == drive.PlaceIndex() || drive.UserChoosePlace(k));
    }
    default:
        if (plain)
            c.Click();
        return plain;
    }
}

void ConsoleBackend::Handle(Form& form, const std::string& raw)
{
    Command cmd = Read(form, raw);
    Control* c = cmd.control;
    if (Trimmed(raw).empty()) {
        if (c)
            c->Click();
    } else if (!c && form.OnTypedText) {
        bool taken = false;
        std::string text = Trimmed(raw);
        App().Dispatch([&] { taken = form.OnTypedText(HostUtf8ToAnsi(text)); });
        if (!taken)
            write_("?\n");
    } else if (!c || !c->Showing() || !c->Enabled() || !Perform(*c, cmd)) {
        write_("?\n");
    }
    // A choice ends with a change notice even when it changed nothing: the
    // form is printed again only if what it shows did change (an error box
    // that came and went counts).
    auto dirty = dirty_.find(&form);
    auto printed = printed_.find(&form);
    if (dirty != dirty_.end() && dirty->second && printed != printed_.end() && printed->second == Render(form))
        dirty->second = false;
}

void ConsoleBackend::WaitForAction(Form& form, int timeoutMs)
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
        got = read_(line, timeoutMs);
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
