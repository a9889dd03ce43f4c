#include "wizard/wizard_host.h"

#include <algorithm>
#include <chrono>

#include "base/codepage.h"
#include "ui/backend.h"

#include "platform/platform.h"
#include "ui/application.h"
#include "ui/message_dialog.h"
#include "wizard/form_type.h"
#include "wizard/page_rules.h"

namespace tarn {

using namespace ui;

TWizardHost::TWizardHost(TFormType& form, bool uninstall, bool pauses, RunObserver* observer)
    : RunHost(observer), form_(form), uninstall_(uninstall), pauses_(pauses)
{
}

bool TWizardHost::Listen()
{
    App().ProcessMessages();
    return form_.GetModalResult() != mrAbort;
}

void TWizardHost::Begin(const AnsiString& heading)
{
    form_.btnBack.SetVisible(false);
    form_.btnNext.SetVisible(false);
    (uninstall_ ? form_.LabelDelTitle : form_.LabelCopyCap).SetCaption(heading);
}

bool TWizardHost::Step(const AnsiString& text)
{
    (uninstall_ ? form_.LabelDel : form_.LabelCopyCap).SetCaption(text);
    return Listen();
}

void TWizardHost::Item(const AnsiString& text) { form_.LabelCopy.SetCaption(text); }

void TWizardHost::BeginProgress(int64_t total)
{
    form_.Progress.SetRange(0, total);
    form_.Progress.SetVisible(true);
    form_.LabelCopy.SetVisible(true);
}

bool TWizardHost::Progress(int64_t bytes)
{
    ProgressBar& bar = form_.Progress;
    // The position only grows; past the range the bar stays full.
    if (bytes > 0)
        bar.SetPosition(bar.Position() > INT64_MAX - bytes ? INT64_MAX : bar.Position() + bytes);
    return Listen();
}

void TWizardHost::EndProgress()
{
    form_.LabelCopy.SetVisible(false);
    form_.Progress.SetVisible(false);
}

DiscAnswer TWizardHost::PromptDisc(int index, const StringList&, const DiscWatch& watch)
{
    for (;;) {
        std::unique_ptr<Form> box = CreateMessageDialog(DiscPromptText(index), MsgType::Information, mbOK | mbAbort);
        // A disc inserted, mounted or put beside the first is taken as if OK
        // had been clicked.
        bool noticed = false;
        box->TickMs = 500;
        box->OnTick = [&] {
            if (watch.Present && watch.Present()) {
                noticed = true;
                box->SetModalResult(mrOk);
            }
        };
        // Or the person says where it lies: 参照... (the system's file
        // dialog), or a path typed at the console.
        Label* message = static_cast<Label*>(box->Find("Message"));
        auto take = [&](const AnsiString& place) {
            AnsiString found = watch.TryPlace ? watch.TryPlace(place) : AnsiString();
            if (found.empty()) {
                noticed = true;
                box->SetModalResult(mrOk);
                return;
            }
            AnsiString text = DiscPromptText(index) + "\n" + found;
            if (message->Caption() != text) {
                int grow = message->Caption().find('\n') == AnsiString::npos ? 16 : 0;
                message->SetBounds(message->Left(), message->Top(), std::max(message->Width(), static_cast<int>(found.size()) * 6),
                                   message->Height() + grow);
                message->SetCaption(text);
                box->SetClientSize(std::max(box->ClientWidth(), message->Left() + message->Width() + 12), box->ClientHeight() + grow);
                for (Control* c : box->AllControls())
                    if (c->Kind() == ControlKind::Button)
                        c->SetTop(box->ClientHeight() - 12 - c->Height());
            }
        };
        Button& browse = box->Add<Button>("Browse");
        browse.SetCaption(Sjis(u8"参照..."));
        Control* ok = box->Find("OK");
        Control* abort = box->Find("Abort");
        const int gap = 8, width = ok->Width();
        box->SetClientSize(std::max(box->ClientWidth(), 3 * width + 2 * gap + 24), box->ClientHeight());
        int x = (box->ClientWidth() - (3 * width + 2 * gap)) / 2;
        for (Control* c : { ok, static_cast<Control*>(&browse), abort }) {
            c->SetBounds(x, ok->Top(), width, ok->Height());
            x += width + gap;
        }
        browse.OnClick = [&](Control&) {
            std::optional<std::string> chosen = App().GetBackend().ChooseFile(
                *box, Sjis(u8"ディスクの場所"),
                { Sjis(u8"ディスクとディスクイメージ (install.dat *.iso *.cue *.ccd *.nrg *.img *.bin *.mdf)"),
                  Sjis(u8"すべてのファイル (*)") });
            if (chosen)
                take(platform::PathFromTyped(*chosen));
        };
        box->OnTypedText = [&](const AnsiString& text) {
            std::string typed = AnsiToHostUtf8(text);
            if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"')
                typed = typed.substr(1, typed.size() - 2);
            take(platform::PathFromTyped(typed));
            return true;
        };
        if (box->ShowModal() == mrOk) {
            if (!noticed)
                Pause(500); // a drive that has just been closed needs a moment
            return DiscAnswer::Retry;
        }
        // Nobody left to change the disc: the abort stands.
        if (MessageDlg(AbortQuestion(false), MsgType::Confirmation, mbYes | mbNo, mrYes) == mrYes) {
            form_.SetModalResult(mrAbort);
            return DiscAnswer::Abort;
        }
    }
}

bool TWizardHost::ContinueAfterCopyFailure(const AnsiString& file, const AnsiString& target, const AnsiString& reason)
{
    return MessageDlg(CopyFailureQuestion(file, target, reason), MsgType::Confirmation, mbYes | mbNo) == mrYes;
}

void TWizardHost::Report(ReportKind kind, const AnsiString& text)
{
    MsgType type = kind == ReportKind::Error ? MsgType::Error : kind == ReportKind::Warning ? MsgType::Warning : MsgType::Information;
    MessageDlg(text, type, mbOK);
}

void TWizardHost::Pause(uint32_t milliseconds)
{
    if (!pauses_)
        return;
    // The window keeps answering while the run waits.
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
        App().ProcessMessages();
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        platform::SleepMs(static_cast<uint32_t>(std::min<int64_t>(left, 20)));
    }
}

void TWizardHost::BringToFront() { form_.BringToFront(); }

void TWizardHost::LeaveDirectory(const AnsiString&)
{
    // Into the Windows directory, with its drive in the drive list: the
    // lists follow the process's current directory.
    AnsiString windows = platform::WindowsDirectory();
    if (!windows.empty())
        form_.Drive.SetDrive(windows[0]);
    form_.Directory.SetDirectory(windows);
}

void TWizardHost::OpenDocument(const AnsiString& file) { platform::ShellOpen(file, ""); }

void TWizardHost::Kept(const AnsiString& dir, const StringList& relative)
{
    form_.LabelKept.SetCaption(KeptText(relative));
    RunHost::Kept(dir, relative);
}

void TWizardHost::Wanting(const AnsiString& text)
{
    WantingLines.push_back(text);
    RunHost::Wanting(text);
}

} // namespace tarn
