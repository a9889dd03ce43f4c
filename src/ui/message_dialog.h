// The standard message box, built as a form of the model so every backend
// shows the same titles and buttons.
#pragma once

#include <initializer_list>

#include "ui/form.h"

namespace tarn::ui {

enum class MsgType { Warning, Error, Information, Confirmation };
enum MsgButton { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbAbort = 16 };

// Shows text with the title of its kind ("警告", "エラー", "情報", "確認") and the
// buttons asked for ("はい(&Y)", "いいえ(&N)", "OK", "キャンセル", "中止(&A)");
// returns the modal result of the button pressed (Cancel for the close box).
// unanswered: the modal result the box takes when nobody can answer it any
// more (mrNone: SafeAnswer's rule), for a question whose safe answer is
// another (confirming an abort that has been asked for).
int MessageDlg(const AnsiString& text, MsgType type, int buttons, int unanswered = mrNone);

// The form MessageDlg shows (for backends and tests that want to look at it).
std::unique_ptr<Form> CreateMessageDialog(const AnsiString& text, MsgType type, int buttons, int unanswered = mrNone);

// The answer a message box gets when nobody can give one any more (input
// has ended, a test did not script it): the box's own unanswered result when
// it has one, else No, else Cancel, else Abort, else OK. Never a choice that
// repeats the question, so a loop that asks again ends. Null for a form that
// is not a message box.
Button* SafeAnswer(const Form& box);

} // namespace tarn::ui
