// TFormMain: the backdrop behind the wizard: a blue gradient, the title
// image when the archive is open, the caption "<title>のセットアップ" (or "の削除")
// and a footer line at the bottom right.
#pragma once

#include "setup/program_state.h"
#include "ui/form.h"
#include "ui/grad_box.h"
#include "ui/paint_box.h"

namespace tarn {

class TFormMain : public ui::Form {
public:
    explicit TFormMain(TProgramState& state);

    ui::GradientBox& GradBox;
    ui::PaintBox& PaintBox;
    ui::Label& LabelRight;

private:
    void FormCreate();
    TProgramState& state_;
};

} // namespace tarn
