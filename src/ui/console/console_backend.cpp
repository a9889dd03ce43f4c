#include "ui/console/console_backend.h"

#include <algorithm>

#include "base/codepage.h"
#include "ui/application.h"

namespace tarn::ui {

namespace {

std::string Text(std::string_view cp932) { return AnsiToHostUtf8(cp932); }

// "&N" -> "N", "&&" -> "&".
AnsiString WithoutMnemonic(const AnsiString& s)
{
    AnsiString out;
    for (size_t i = 0; i < s.size(); i += CharLengthAt(s, i)) {
        if (s[i] == '&' && i + 1 < s.size()) {
            ++i;
            out.append(s, i, CharLengthAt(s, i));
            continue;
        }
        out.append(s, i, CharLengthAt(s, i));
    }
    return out;
}

bool Numbered(ControlKind k)
{
    return k == ControlKind::Button || k == ControlKind::CheckBox || k == ControlKind::RadioButton || k == ControlKind::Edit ||
           k == ControlKind::ListBox;
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
        std::string caption = Text(WithoutMnemonic(c->Caption()));
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
        case ControlKind::ProgressBar: {
            int percent = static_cast<ProgressBar*>(c)->Percent();
            int filled = percent / 5;
            out += "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(20 - filled), '.') + "] " +
                   std::to_string(percent) + "%\n";
            break;
        }
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

void ConsoleBackend::Handle(Form& form, const std::string& raw)
{
    std::string line = raw;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    line = start == std::string::npos ? std::string() : line.substr(start);
    if (line.empty()) {
        if (Button* b = form.DefaultButton())
            b->Click();
        return;
    }
    size_t eq = line.find('=');
    std::string num = line.substr(0, eq);
    std::vector<Control*> numbered = NumberedControls(form);
    int n = 0;
    for (char ch : num) {
        if (ch < '0' || ch > '9' || n > 100000) {
            n = 0;
            break;
        }
        n = n * 10 + (ch - '0');
    }
    if (n < 1 || n > static_cast<int>(numbered.size()) || !numbered[n - 1]->Showing()) {
        write_("?\n");
        return;
    }
    Control* c = numbered[n - 1];
    if (eq == std::string::npos) {
        if (c->Kind() == ControlKind::Edit || c->Kind() == ControlKind::ListBox)
            write_("?\n");
        else
            c->Click();
        return;
    }
    std::string value = line.substr(eq + 1);
    if (c->Kind() == ControlKind::Edit) {
        static_cast<Edit*>(c)->UserSetText(HostUtf8ToAnsi(value));
    } else if (c->Kind() == ControlKind::ListBox) {
        int item = 0;
        for (char ch : value)
            item = (ch >= '0' && ch <= '9' && item < 100000) ? item * 10 + (ch - '0') : -1000000;
        static_cast<ListBox*>(c)->UserSelect(item - 1);
    } else {
        write_("?\n");
    }
}

void ConsoleBackend::WaitForAction(Form& form)
{
    if (dirty_[&form])
        Print(form);
    std::string line;
    switch (read_(line, -1)) {
    case platform::InputResult::Line:
        endSeen_[&form] = 0;
        Handle(form, line);
        break;
    case platform::InputResult::End:
        // Nobody can answer any more: the close box, and if the form insists
        // on staying, it is closed anyway.
        if (endSeen_[&form]++ == 0)
            form.CloseRequested();
        else
            form.ForceClose();
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
    std::string line;
    if (read_(line, 0) == platform::InputResult::Line)
        Handle(top, line);
    // Long runs change labels and bars often: print at most a few times a second.
    if (dirty_[&top] && std::chrono::steady_clock::now() - lastPrint_ > std::chrono::milliseconds(250))
        Print(top);
}

} // namespace tarn::ui
