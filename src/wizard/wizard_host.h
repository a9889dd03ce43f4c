// The wizard as the runs see it: a run's heading, steps, item and progress
// land on the labels and the bar of the page it runs on, its questions and
// reports in message boxes, and an abort is the wizard's modal result, set by
// 中断 or the close box and confirmed by the person.
#pragma once

#include "wizard/run_host.h"

namespace tarn {

class TFormType;

class TWizardHost : public RunHost {
public:
    // uninstall: the run on the page 削除 (else ファイルコピー); pauses: the
    // fixed pauses are waited out; observer: told what was done (may be null).
    TWizardHost(TFormType& form, bool uninstall, bool pauses, RunObserver* observer);

    void Begin(const AnsiString& heading) override;
    bool Step(const AnsiString& text) override;
    void Item(const AnsiString& text) override;
    void BeginProgress(int64_t total) override;
    bool Progress(int64_t bytes) override;
    void EndProgress() override;
    DiscAnswer PromptDisc(int index, const StringList& lookedAt, const DiscWatch& watch) override;
    bool ContinueAfterCopyFailure(const AnsiString& file, const AnsiString& target, const AnsiString& reason) override;
    void Report(ReportKind kind, const AnsiString& text) override;
    void Pause(uint32_t milliseconds) override;
    void BringToFront() override;
    void LeaveDirectory(const AnsiString& dir) override;
    void OpenDocument(const AnsiString& file) override;
    void Kept(const AnsiString& dir, const StringList& relative) override;
    void Wanting(const AnsiString& text) override;
    // What Wanting said, for the completion page.
    StringList WantingLines;


private:
    // Handles what the person did meanwhile; false once an abort is confirmed.
    bool Listen();

    TFormType& form_;
    bool uninstall_, pauses_;
};

} // namespace tarn
