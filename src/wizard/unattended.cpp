#include "wizard/unattended.h"

#include <chrono>
#include <ctime>

#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/messages.h"
#include "base/path.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/message_dialog.h"
#include "wizard/destination.h"
#include "wizard/form_type.h"
#include "wizard/shortcuts.h"

namespace tarn {

using namespace ui;

namespace {

std::string Text(const AnsiString& s) { return AnsiToHostUtf8(s); }
std::string Shown(const AnsiString& path) { return platform::DisplayPath(path); }

std::string Joined(const StringList& paths)
{
    std::string out;
    for (const AnsiString& p : paths)
        out += (out.empty() ? "" : ", ") + Shown(p);
    return out;
}

// One line per step, with the local time, in UTF-8.
class RunLog {
public:
    explicit RunLog(const std::string& path)
    {
        if (path == "-")
            toStderr_ = true;
        else if (!path.empty())
            file_ = platform::File::Open(platform::PathFromHost(path), platform::File::Mode::Create);
    }
    bool Failed(const std::string& path) const { return !path.empty() && path != "-" && !file_; }

    void Line(const std::string& utf8)
    {
        if (!toStderr_ && !file_)
            return;
        std::time_t now = std::time(nullptr);
        char stamp[32] = "";
        if (const std::tm* local = std::localtime(&now))
            std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local);
        std::string line = std::string(stamp) + " " + utf8 + "\n";
        if (toStderr_)
            platform::WriteStderr(line);
        else
            file_->Write(line.data(), static_cast<int64_t>(line.size()));
    }

private:
    std::unique_ptr<platform::File> file_;
    bool toStderr_ = false;
};

// The backend that answers instead of a person: every message box is
// answered at once and logged, and the wizard's progress is shown on
// standard error (a bar on a terminal, a line per step otherwise).
class AnsweringBackend : public Backend {
public:
    AnsweringBackend(RunLog& log, bool verySilent) : log_(log), verySilent_(verySilent), terminal_(platform::StderrIsTerminal()) { }

    const char* Name() const override { return "unattended"; }
    void ShowForm(Form&) override { }
    void HideForm(Form&) override { }
    void ProcessMessages() override { }

    void Update(Form& form, Control* control) override
    {
        if (verySilent_ || !control || form.Name() != "FormType")
            return;
        const AnsiString& name = control->Name();
        if ((name == "LabelCopy" || name == "LabelCopyCap" || name == "LabelDel") && control->Showing() &&
            !control->Caption().empty() && control->Caption() != label_) {
            label_ = control->Caption();
            ShowProgress(form, true);
        } else if (name == "Progress") {
            ShowProgress(form, false);
        }
    }

    void WaitForAction(Form& form) override
    {
        if (form.Name() != "MessageDlg") {
            // Nothing here waits for a person; a form that does is closed.
            log_.Line("window \"" + Text(form.Caption()) + "\" closed: nobody to answer it");
            form.ForceClose();
            return;
        }
        const AnsiString& title = form.Caption();
        const std::string text = Text(form.Find("Message") ? form.Find("Message")->Caption() : AnsiString());
        Button* answer = nullptr;
        bool failure = false;
        if (title == Sjis(msg::TitleConfirmation)) {
            // The only questions a run asks here: whether to go on after a
            // file could not be copied (no), and whether to abort after the
            // disc prompt was refused (yes).
            answer = static_cast<Button*>(form.Find(confirmAbort_ ? "Yes" : "No"));
            failure = !confirmAbort_;
            confirmAbort_ = false;
        } else if (title == Sjis(msg::TitleInformation) && form.Find("Abort")) {
            // A disc prompt: there is nobody to change the disc.
            answer = static_cast<Button*>(form.Find("Abort"));
            confirmAbort_ = true;
            failure = true;
        } else {
            answer = static_cast<Button*>(form.Find("OK"));
            failure = title != Sjis(msg::TitleInformation);
        }
        if (!answer)
            answer = SafeAnswer(form);
        log_.Line("message box (" + Text(title) + "): " + text + " -> " + Text(WithoutAmpersand(answer ? answer->Caption() : AnsiString())));
        if (failure)
            Error(text);
        else
            Note(text);
        if (answer)
            answer->Click();
        else
            form.ForceClose();
    }

    void Error(const std::string& text)
    {
        Errors.push_back(text);
        EndLine();
        platform::WriteStderr("tarn-setup: " + text + "\n");
    }
    void Note(const std::string& text)
    {
        LastNote = text;
        if (verySilent_)
            return;
        EndLine();
        platform::WriteStderr("tarn-setup: " + text + "\n");
    }
    void Say(const std::string& text)
    {
        if (verySilent_)
            return;
        EndLine();
        platform::WriteStderr(text + "\n");
    }
    // Ends a progress bar line on a terminal.
    void EndLine()
    {
        if (barWidth_ > 0)
            platform::WriteStderr("\n");
        barWidth_ = 0;
    }

    std::vector<std::string> Errors;
    std::string LastNote;

private:
    static AnsiString WithoutAmpersand(const AnsiString& s)
    {
        AnsiString out;
        for (char c : s)
            if (c != '&')
                out += c;
        return out;
    }

    void ShowProgress(Form& form, bool newStep)
    {
        auto* bar = dynamic_cast<ProgressBar*>(form.Find("Progress"));
        int percent = bar && bar->Showing() ? bar->Percent() : -1;
        std::string step = Text(label_);
        std::string percentText = percent >= 0 ? std::to_string(percent) + "% " : std::string();
        if (!terminal_) {
            if (newStep)
                platform::WriteStderr(percentText + step + "\n");
            return;
        }
        auto now = std::chrono::steady_clock::now();
        if (!newStep && percent == lastPercent_ && now - lastDrawn_ < std::chrono::milliseconds(100))
            return;
        if (!newStep && now - lastDrawn_ < std::chrono::milliseconds(50))
            return;
        lastDrawn_ = now, lastPercent_ = percent;
        std::string line;
        if (percent >= 0) {
            int filled = percent / 5;
            line = "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(20 - filled), '.') + "] ";
        }
        line += percentText + step;
        size_t width = line.size();
        if (line.size() < barWidth_)
            line += std::string(barWidth_ - line.size(), ' ');
        platform::WriteStderr("\r" + line);
        barWidth_ = width;
    }

    RunLog& log_;
    bool verySilent_;
    bool terminal_;
    bool confirmAbort_ = false;
    AnsiString label_;
    int lastPercent_ = -1;
    size_t barWidth_ = 0;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

// One unattended run: the wizard on the state, the answers, the log.
class Driver {
public:
    Driver(TProgramState& state, const UnattendedOptions& options, RunLog& log, AnsweringBackend& answers)
        : state_(state), o_(options), log_(log), answers_(answers)
    {
    }

    int Install();
    int Remove();

private:
    void Watch(TFormType& w);
    // A click as a person makes it: only on a control that shows and is enabled.
    bool Click(TFormType& w, Control& c)
    {
        if (!c.Showing() || !c.Enabled()) {
            log_.Line("cannot click " + Text(c.Name()) + " on page " + std::to_string(w.PageIndex()));
            return false;
        }
        c.Click();
        return true;
    }
    int Fail(const std::string& message)
    {
        answers_.Error(message);
        log_.Line("error: " + message);
        return kStatusFailed;
    }
    // Puts back what a failed install had claimed: the description it wrote,
    // the registry value and the program group it made.
    void Undo(const AnsiString& dest, bool hadDescription, const AnsiString& registryBefore);

    TProgramState& state_;
    const UnattendedOptions& o_;
    RunLog& log_;
    AnsweringBackend& answers_;
    bool discMissing_ = false;
    bool groupMade_ = false;
};

void Driver::Watch(TFormType& w)
{
    const AnsiString key = "HKEY_CURRENT_USER\\Software\\" + state_.InstallSet.RegistryKey;
    RunEvents& e = w.RunEvents;
    e.DiscFound = [this](int i, const AnsiString& dir, const StringList& lookedAt) {
        std::string line = "disc " + std::to_string(i + 1) + " in " + Shown(dir);
        if (!lookedAt.empty())
            line += " (looked at: " + Joined(lookedAt) + ")";
        log_.Line(line);
    };
    e.DiscMissing = [this](int i, const StringList& lookedAt) {
        discMissing_ = true;
        std::string message = Text(Format(u8"ディスク%dが見つかりません", { i + 1 })) + " (looked at: " + Joined(lookedAt) + ")";
        answers_.Error(message);
        log_.Line("error: " + message);
        return true;
    };
    e.FileCopied = [this](const AnsiString& from, const AnsiString& to, int64_t size, CopyOutcome outcome) {
        std::string bytes = " (" + std::to_string(size) + " bytes)";
        if (outcome == CopyOutcome::Copied)
            log_.Line("copied " + Shown(from) + " to " + Shown(to) + bytes);
        else if (outcome == CopyOutcome::Unchanged)
            log_.Line("skipped " + Shown(to) + bytes + ": unchanged");
        else
            log_.Line("error: could not copy " + Shown(from) + " to " + Shown(to));
    };
    e.ArchiveMerged = [this](int i, int32_t source, int32_t before, int32_t after) {
        log_.Line("merged game.dat of disc " + std::to_string(i + 1) + ": " + std::to_string(source) + " entries, " +
                  std::to_string(after - before) + " new; the destination's game.dat had " + std::to_string(before) +
                  ", now " + std::to_string(after));
    };
    e.ProgramManagerCommand = [this](const AnsiString& command) {
        if (command.rfind("[CreateGroup(", 0) == 0)
            groupMade_ = true;
        log_.Line("program manager: " + Text(command));
    };
    e.RegistryWritten = [this, key](const AnsiString& name, const AnsiString& value) {
        log_.Line("registry: " + Text(key) + " " + Text(name) + " = " + Text(value));
    };
    e.RegistryDeleted = [this, key] { log_.Line("registry: deleted " + Text(key)); };
    e.Deleting = [this](const StringList& names) {
        for (const AnsiString& n : names)
            log_.Line("removing " + Shown(n));
    };
}

int Driver::Install()
{
    const TTarnInstallSet& set = state_.InstallSet;
    TFormType w(state_, nullptr);
    if (!answers_.Errors.empty())
        return kStatusFailed; // the wizard could not be set up (reported)
    w.SkipPauses = true;
    w.MakeShortcuts = !o_.NoShortcuts;
    Watch(w);
    w.Show();
    if (w.PageIndex() == pgMedia) {
        if (o_.AllDiscs)
            Click(w, *o_.AllDiscs ? w.RadioDiskAll : w.RadioDiskThis);
        Click(w, w.btnNext);
    }
    if (w.PageIndex() != pgFile)
        return Fail("the wizard did not reach the component page");
    log_.Line(std::string("discs: ") + (w.RadioDiskAll.Checked() ? "all " + std::to_string(set.DiscCount()) : "this one (disc " + std::to_string(set.DiscIndex + 1) + ")"));

    CheckBox* boxes[] = { &w.CheckData, &w.CheckSound, &w.CheckMovie };
    const char* names[] = { "data", "sound", "movie" };
    for (int i = 0; i < 3; ++i) {
        bool wanted = o_.Components ? (*o_.Components)[static_cast<size_t>(i)] : boxes[i]->Checked();
        if (wanted != boxes[i]->Checked() && !Click(w, *boxes[i]))
            log_.Line(std::string("component ") + names[i] + ": none on these discs");
    }
    std::string chosen = "program";
    for (int i = 0; i < 3; ++i)
        if (boxes[i]->Checked())
            chosen += std::string(", ") + names[i];
    log_.Line("components: " + chosen + "; " + std::to_string(w.NeededSize) + " bytes needed");
    Click(w, w.btnNext);
    if (o_.Destination)
        w.EditDir.UserSetText(*o_.Destination);
    const AnsiString dest = AddBackslash(DestinationFromText(w.EditDir.Text()));
    log_.Line("destination: " + Shown(dest));
    Click(w, w.btnNext);
    if (w.PageIndex() != pgConfirm)
        return Fail("the wizard did not reach the confirmation page");

    const bool hadDescription = platform::FileExists(dest + "install.dat");
    const AnsiString registryBefore = set.ReadRegString("InstallPath", "");
    Click(w, w.btnNext); // インストール: the run
    bool completed = w.PageIndex() == pgExit && w.GetModalResult() == mrNone && answers_.Errors.empty();
    w.Hide();
    if (completed) {
        answers_.Say("tarn-setup: installed into " + Shown(dest));
        return kStatusDone;
    }
    Undo(dest, hadDescription, registryBefore);
    if (answers_.Errors.empty())
        Fail("the install ended without completing");
    return discMissing_ ? kStatusAborted : kStatusFailed;
}

void Driver::Undo(const AnsiString& dest, bool hadDescription, const AnsiString& registryBefore)
{
    TTarnInstallSet& set = state_.InstallSet;
    if (!hadDescription && platform::FileExists(dest + "install.dat") && platform::RemoveFile(dest + "install.dat"))
        log_.Line("undone: removed " + Shown(dest + "install.dat"));
    try {
        if (set.ReadRegString("InstallPath", "") != registryBefore) {
            if (registryBefore.empty())
                set.DeleteRegistryKey();
            else
                set.WriteRegString("InstallPath", registryBefore);
            log_.Line("undone: registry value put back");
        }
    } catch (const Exception& e) {
        log_.Line("error: " + Text(e.Message()));
    }
    // A group of an earlier installation stays with it.
    if (groupMade_ && registryBefore.empty()) {
        AnsiString command = DeleteShortcutCommand(set.Title);
        if (auto manager = platform::ProgramManager::Open("PROGMAN", "PROGMAN"); manager && !command.empty()) {
            manager->Execute(command);
            log_.Line("undone: program manager: " + Text(command));
        }
    }
}

int Driver::Remove()
{
    const TTarnInstallSet& set = state_.InstallSet;
    TFormType w(state_, nullptr);
    if (!answers_.Errors.empty())
        return kStatusFailed;
    w.SkipPauses = true;
    w.MakeShortcuts = !o_.NoShortcuts;
    Watch(w);
    w.Show();
    if (set.Installed == 0) {
        // Started on a disc: back to the first page, where a person chooses
        // the uninstall of what the registry record names.
        while (w.PageIndex() != pgInst && Click(w, w.btnBack)) {
        }
        Click(w, w.RadioUninst);
        Click(w, w.btnNext);
        if (w.PageIndex() != pgUninst) {
            // The wizard said why in its box ("... はインストールされていません").
            if (answers_.LastNote.empty())
                return Fail("nothing to remove");
            answers_.Errors.push_back(answers_.LastNote);
            if (o_.VerySilent)
                platform::WriteStderr("tarn-setup: " + answers_.LastNote + "\n");
            log_.Line("error: " + answers_.LastNote);
            return kStatusFailed;
        }
    }
    const AnsiString dir = w.UninstallDirectory();
    log_.Line("removing the installation " + Shown(dir));
    if (w.CheckDelSave.Showing()) {
        if (o_.DeleteSave)
            Click(w, w.CheckDelSave);
        log_.Line(w.CheckDelSave.Checked() ? "save.dat: deleted too" : "save.dat: kept");
    } else {
        log_.Line("save.dat: none");
    }
    Click(w, w.btnNext); // 実行: the run
    bool completed = w.PageIndex() == pgExit && w.GetModalResult() == mrNone && answers_.Errors.empty();
    w.Hide();
    if (completed) {
        answers_.Say("tarn-setup: removed " + Shown(dir));
        return kStatusDone;
    }
    if (answers_.Errors.empty())
        Fail("the uninstall ended without completing");
    return kStatusFailed;
}

const char* StatusName(int status)
{
    switch (status) {
    case kStatusDone: return "done";
    case kStatusAborted: return "aborted";
    case kStatusWrongUsage: return "wrong usage";
    default: return "failed";
    }
}

} // namespace

std::optional<std::array<bool, 3>> ParseComponents(const std::string& list)
{
    std::array<bool, 3> chosen{ false, false, false };
    if (list == "all")
        return std::array<bool, 3>{ true, true, true };
    if (list == "none")
        return chosen;
    const char* names[] = { "data", "sound", "movie" };
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool known = false;
        for (size_t i = 0; i < 3; ++i)
            if (item == names[i])
                chosen[i] = known = true;
        if (!known)
            return std::nullopt;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return chosen;
}

int RunUnattended(TProgramState& state, const UnattendedOptions& options)
{
    RunLog log(options.LogFile);
    if (log.Failed(options.LogFile)) {
        platform::WriteStderr("tarn-setup: cannot create the log " + options.LogFile + "\n");
        return kStatusFailed;
    }
    auto owned = std::make_unique<AnsweringBackend>(log, options.VerySilent);
    AnsweringBackend& answers = *owned;
    App().SetBackend(std::move(owned));
    for (const std::string& line : options.Understood)
        log.Line("option " + line);
    const TTarnInstallSet& set = state.InstallSet;
    log.Line("source " + Shown(AddBackslash(state.SourceDir)) + ": " + Text(set.Title) +
             (set.Installed != 0 ? ", an installation" : ", disc " + std::to_string(set.DiscIndex + 1) + " of " + std::to_string(set.DiscCount())));

    int status = kStatusFailed;
    if (set.Installed == 0 && !options.Uninstall && options.AllDiscs.value_or(false) && set.DiscIndex != 0) {
        answers.Error("--all-discs: this is disc " + std::to_string(set.DiscIndex + 1) + "; all discs are installed from disc 1");
        status = kStatusWrongUsage;
    } else {
        Driver driver(state, options, log, answers);
        try {
            status = set.Installed != 0 || options.Uninstall ? driver.Remove() : driver.Install();
        } catch (const Exception& e) {
            answers.Error(Text(e.Message()));
            status = kStatusFailed;
        }
    }
    answers.EndLine();
    log.Line(std::string("outcome: ") + StatusName(status) + ", exit status " + std::to_string(status));
    return status;
}

int UnattendedRefusal(const UnattendedOptions& options, const AnsiString& message)
{
    RunLog log(options.LogFile);
    for (const std::string& line : options.Understood)
        log.Line("option " + line);
    platform::WriteStderr("tarn-setup: " + Text(message) + "\n");
    log.Line("error: " + Text(message));
    log.Line("outcome: failed, exit status 1");
    return kStatusFailed;
}

} // namespace tarn
