// What a run (install or uninstall) needs from the window that shows it.
// The wizard is one host; tests script another (clicks at exact points,
// pauses that take no time). The runs never know which backend shows them.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "ui/message_dialog.h"

namespace tarn {

// The texts and controls of the wizard a run changes.
enum class RunText { LabelCopyCap, LabelCopy, LabelDelTitle, LabelDel, LabelExit };
enum class RunControl { btnBack, btnNext, LabelCopy, Progress };

class RunHost {
public:
    virtual ~RunHost() = default;

    virtual void SetCaption(const AnsiString& caption) = 0;
    virtual void SetText(RunText which, const AnsiString& text) = 0;
    virtual void SetVisible(RunControl which, bool visible) = 0;
    // The progress bar counts bytes from 0 to max; its position only grows.
    virtual void SetProgressRange(int64_t max) = 0;
    virtual void StepProgress(int64_t bytes) = 0;
    // Handles pending window messages (a click on Abort among them).
    virtual void ProcessMessages() = 0;
    // The modal result is Abort (a confirmed abort).
    virtual bool AbortRequested() = 0;
    // Sets the modal result: the window closes when the run has returned.
    virtual void Close(int modalResult) = 0;
    // A message box of the given kind and buttons; the modal result of the answer.
    virtual int Ask(const AnsiString& text, ui::MsgType type, int buttons) = 0;
    // A fixed pause (hosts without a person may skip it).
    virtual void Wait(uint32_t milliseconds) = 0;
    virtual void BringToFront() = 0;
    // Shows a page of the wizard (the runs end on page 6).
    virtual void ShowPage(int index) = 0;
    // Makes dir the directory of the directory list, with its drive in the
    // drive list (the process's current directory follows).
    virtual void MoveToDirectory(const AnsiString& dir) = 0;
    // The shell's "open" of a file (the read-me).
    virtual void OpenFile(const AnsiString& file) = 0;
};

} // namespace tarn
