// The backend conformance cases with the null backend (the model's own user
// actions; it shows nothing) and the console (lines typed, screens read).
#include <deque>

#include "base/codepage.h"
#include "conformance/cases.h"
#include "ui/console/console_backend.h"
#include "ui/null_backend.h"

using namespace tarn;
using namespace tarn::ui;
using namespace tarn::test;

namespace {

Form& Waiting()
{
    const std::vector<Form*>& modal = App().ModalForms();
    if (modal.empty())
        throw std::logic_error("a step ran outside a modal loop");
    return *modal.back();
}

class NullProbe : public BackendProbe {
public:
    NullProbe()
    {
        auto b = std::make_unique<NullBackend>();
        backend_ = b.get();
        App().SetBackend(std::move(b));
    }
    std::string Name() const override { return "null"; }
    std::string Lacks(Can what) const override
    {
        switch (what) {
        case Can::CloseBox:
        case Can::DoubleClick:
            return ""; // the model's close box and presses
        case Can::Highlight:
            return "the null backend has no keys: a person's choice of a row is the model's";
        default:
            return "the null backend shows nothing";
        }
    }
    void Then(std::function<void(Form&)> step) override
    {
        backend_->Then([step = std::move(step)](Form& waiting) {
            EXPECT_EQ(&waiting, &Waiting());
            step(waiting);
        });
    }
    size_t PendingSteps() const override { return backend_->PendingSteps(); }
    void Settle() override { App().ProcessMessages(); }

    void Click(Control& c) override { c.Click(); }
    void CloseBox(Form& f) override { f.CloseRequested(); }
    void Type(Edit& e, const AnsiString& text) override { e.UserSetText(text); }
    void ClickRow(DirectoryList& list, int row) override { list.UserPress(row, false); }
    // The second press lands where the first did.
    void DoubleClickRow(DirectoryList& list, int row) override
    {
        list.UserPress(row, false);
        list.UserPress(row, true);
    }
    void ChooseDrive(DriveCombo& drive, int place) override { drive.UserChoosePlace(place); }

    bool HasWindow(const Form& f) override
    {
        const std::vector<Form*>& open = backend_->OpenForms();
        return std::find(open.begin(), open.end(), &f) != open.end();
    }

private:
    NullBackend* backend_ = nullptr;
};

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// Types the lines a person would and reads the screens the console prints:
// the last screen printed while a form was the one on top is that form's.
class ConsoleProbe : public BackendProbe {
public:
    ConsoleProbe()
    {
        auto b = std::make_unique<ConsoleBackend>([this](std::string& line, int timeoutMs) { return Read(line, timeoutMs); },
                                                  [this](std::string_view text) { Written(text); });
        backend_ = b.get();
        App().SetBackend(std::move(b));
    }
    std::string Name() const override { return "console"; }
    std::string Lacks(Can what) const override
    {
        switch (what) {
        case Can::Show:
            return "";
        case Can::CloseBox:
            return "the console has no close box (the end of input stands for it: console tests)";
        case Can::DoubleClick:
        case Can::Highlight:
            return "the console takes lines: no pointer, no highlight";
        default:
            return "the console shows one form at a time, as text";
        }
    }
    void Then(std::function<void(Form&)> step) override { steps_.push_back(std::move(step)); }
    size_t PendingSteps() const override { return steps_.size(); }
    void Settle() override { App().ProcessMessages(); }

    void Click(Control& c) override { Type(Named(c)); }
    void Type(Edit& e, const AnsiString& text) override { Type(Named(e) + "=" + AnsiToHostUtf8(text)); }
    void ClickRow(DirectoryList& list, int row) override { Type(Named(list) + "." + std::to_string(row + 1)); }
    void ChooseDrive(DriveCombo& drive, int place) override { Type(Named(drive) + "=" + std::to_string(place + 1)); }

    bool HasWindow(const Form& f) override
    {
        const std::vector<Form*>& open = backend_->OpenForms();
        return std::find(open.begin(), open.end(), &f) != open.end();
    }
    AnsiString Title(const Form& f) override
    {
        std::vector<std::string> lines = Screen(f);
        return lines.empty() ? AnsiString() : HostUtf8ToAnsi(lines[0]);
    }
    std::optional<Shown> ShownControl(const Control& c) override;
    Rows ShownRows(const Control& c) override;
    int ShownDrive(const DriveCombo& drive) override
    {
        // "[N] caption: /home/me", and "  > k. /home/me" among the places.
        std::optional<std::string> line = NumberedLine(drive);
        std::optional<std::vector<std::string>> places = ShownDrives(drive);
        int marked = -1;
        const std::vector<std::string>& lines = Screen(drive.OwnerForm());
        for (const std::string& l : lines)
            if (StartsWith(l, "  > ") && places)
                for (size_t k = 0; k < places->size(); ++k)
                    if (l == "  > " + std::to_string(k + 1) + ". " + (*places)[k])
                        marked = static_cast<int>(k);
        if (!line || !places || marked < 0 || *line != Heading(drive) + " " + (*places)[static_cast<size_t>(marked)])
            return -1;
        return marked;
    }
    std::optional<std::vector<std::string>> ShownDrives(const DriveCombo& drive) override
    {
        // The lines after the drive list's own, numbered from 1.
        std::vector<std::string> places;
        const std::vector<std::string>& lines = Screen(drive.OwnerForm());
        std::string n = std::to_string(NumberOf(drive));
        auto own = std::find_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return StartsWith(l, "[" + n + "]") || StartsWith(l, "[" + n + "-]"); });
        for (auto it = own == lines.end() ? own : own + 1; it != lines.end(); ++it) {
            std::string prefix = std::to_string(places.size() + 1) + ". ";
            if ((StartsWith(*it, "  > ") || StartsWith(*it, "    ")) && StartsWith(it->substr(4), prefix))
                places.push_back(it->substr(4 + prefix.size()));
            else
                break;
        }
        return places;
    }
    double ShownProgress(const ProgressBar& bar) override;
    double ProgressResolution() const override { return 0.01; }

private:
    static std::string Named(const Control& c) { return AnsiToHostUtf8(c.Name()); }
    void Type(std::string line) { typed_.push_back(std::move(line)); }

    platform::InputResult Read(std::string& line, int timeoutMs)
    {
        // Steps run only where the console waits for a person, not while
        // a run looks for input in passing.
        if (typed_.empty() && timeoutMs < 0 && !steps_.empty()) {
            std::function<void(Form&)> step = std::move(steps_.front());
            steps_.pop_front();
            step(Waiting());
            if (typed_.empty())
                return platform::InputResult::Timeout;
        }
        if (typed_.empty())
            return timeoutMs < 0 ? platform::InputResult::End : platform::InputResult::Timeout;
        line = std::move(typed_.front());
        typed_.pop_front();
        return platform::InputResult::Line;
    }
    void Written(std::string_view text)
    {
        const std::vector<Form*>& open = backend_->OpenForms();
        if (!text.empty() && text[0] == '\n' && !open.empty())
            screens_[open.back()] = LinesOf(std::string(text.substr(1)));
    }
    std::vector<std::string> Screen(const Form& f)
    {
        auto it = screens_.find(&f);
        return it == screens_.end() ? std::vector<std::string>() : it->second;
    }
    int NumberOf(const Control& c) const
    {
        std::vector<Control*> numbered = ConsoleBackend::NumberedControls(c.OwnerForm());
        auto at = std::find(numbered.begin(), numbered.end(), &c);
        return at == numbered.end() ? 0 : static_cast<int>(at - numbered.begin()) + 1;
    }
    // The line of a numbered control, without "[N] " or "[N-] ".
    std::optional<std::string> NumberedLine(const Control& c, bool* enabled = nullptr)
    {
        std::string n = std::to_string(NumberOf(c));
        for (const std::string& line : Screen(c.OwnerForm()))
            for (bool on : { true, false })
                if (StartsWith(line, "[" + n + (on ? "] " : "-] "))) {
                    if (enabled)
                        *enabled = on;
                    return line.substr(n.size() + (on ? 3 : 4));
                }
        return std::nullopt;
    }
    // What an edit, list or drive list prints before its value.
    static std::string Heading(const Control& c)
    {
        AnsiString caption = StripMnemonic(c.Caption());
        return AnsiToHostUtf8(caption.empty() ? c.Name() : caption) + ":";
    }

    ConsoleBackend* backend_ = nullptr;
    std::deque<std::function<void(Form&)>> steps_;
    std::deque<std::string> typed_;
    std::map<const Form*, std::vector<std::string>> screens_;
};

std::optional<Shown> ConsoleProbe::ShownControl(const Control& c)
{
    Shown shown;
    switch (c.Kind()) {
    case ControlKind::Label:
        // A label is a line of its own text (an empty one is none).
        if (c.Caption().empty())
            return std::nullopt;
        for (const std::string& line : Screen(c.OwnerForm()))
            if (line == AnsiToHostUtf8(c.Caption()))
                shown.visible = true, shown.text = c.Caption();
        return shown;
    case ControlKind::Button:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
    case ControlKind::Edit:
    case ControlKind::ListBox:
    case ControlKind::DirectoryList:
    case ControlKind::DriveCombo:
        break;
    default:
        return std::nullopt; // pages, bevels, pictures and bars are no lines of their own
    }
    bool enabled = false;
    std::optional<std::string> line = NumberedLine(c, &enabled);
    if (!line)
        return shown;
    shown.visible = true;
    shown.enabled = enabled;
    std::string rest = *line;
    if (c.Kind() == ControlKind::CheckBox || c.Kind() == ControlKind::RadioButton) {
        shown.checked = StartsWith(rest, "[x] ") || StartsWith(rest, "(*) ");
        rest = rest.substr(4);
    }
    if (c.Kind() == ControlKind::Edit && StartsWith(rest, Heading(c) + " "))
        shown.text = HostUtf8ToAnsi(rest.substr(Heading(c).size() + 1));
    else if (c.Kind() != ControlKind::Edit && c.Kind() != ControlKind::ListBox && c.Kind() != ControlKind::DirectoryList &&
             c.Kind() != ControlKind::DriveCombo)
        shown.text = HostUtf8ToAnsi(rest);
    return shown;
}

Rows ConsoleProbe::ShownRows(const Control& c)
{
    // "    k. item" and "  > k. item" for a list box; "    [N.K] entry",
    // indented by level, for a directory list (which marks no row).
    Rows rows;
    std::string n = std::to_string(NumberOf(c));
    std::vector<std::string> lines = Screen(c.OwnerForm());
    auto head = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, "[" + n + "] ") || StartsWith(l, "[" + n + "-] "); });
    if (head == lines.end())
        return rows;
    if (c.Kind() == ControlKind::ListBox)
        rows.selected = -1;
    for (auto line = head + 1; line != lines.end(); ++line) {
        std::string text = *line;
        size_t start = text.find_first_not_of(' ');
        if (c.Kind() == ControlKind::ListBox) {
            std::string number = std::to_string(rows.texts.size() + 1) + ". ";
            bool marked = StartsWith(text, "  > ");
            if (!StartsWith(text.substr(4), number) || !(marked || StartsWith(text, "    ")))
                break;
            if (marked)
                rows.selected = static_cast<int>(rows.texts.size());
            rows.texts.push_back(HostUtf8ToAnsi(text.substr(4 + number.size())));
        } else {
            std::string number = "[" + n + "." + std::to_string(rows.texts.size() + 1) + "] ";
            if (start == std::string::npos || !StartsWith(text.substr(start), number))
                break;
            rows.texts.push_back(HostUtf8ToAnsi(text.substr(start + number.size())));
        }
    }
    return rows;
}

double ConsoleProbe::ShownProgress(const ProgressBar& bar)
{
    // The bars print in creation order among the showing ones: "[###...] 25%".
    int index = 0;
    for (Control* c : bar.OwnerForm().AllControls()) {
        if (c == &bar)
            break;
        index += c->Kind() == ControlKind::ProgressBar && c->Showing();
    }
    for (const std::string& line : Screen(bar.OwnerForm()))
        if (StartsWith(line, "[#") || StartsWith(line, "[.")) {
            if (index-- > 0)
                continue;
            size_t blank = line.rfind(' ');
            return blank == std::string::npos ? -1 : std::stod(line.substr(blank + 1)) / 100;
        }
    return -1;
}

} // namespace

TARN_BACKEND_CONFORMANCE(Model, ProbeMaker{ "null", [] { return std::make_unique<NullProbe>(); } },
                         ProbeMaker{ "console", [] { return std::make_unique<ConsoleProbe>(); } });
