// TFormStart: the launcher menu on the distribution disc. It records which
// button closed it; start-up acts on the choice afterwards. The two setup
// buttons start their programs at once and leave the menu open.
#pragma once

#include "setup/program_state.h"
#include "ui/form.h"
#include "ui/paint_box.h"

namespace tarn {

class TFormStart : public ui::Form {
public:
    explicit TFormStart(TProgramState& state);

    // Tag of the button that closed the menu with OK: 0 game start, 1 install.
    int MenuChoice = 0;

    ui::PaintBox& PaintBox;
    ui::Button& btnStart;
    ui::Button& btnInstall;
    ui::Button& btnDirectX;
    ui::Button& btnWinMedia;
    ui::Button& btnExit;

private:
    void FormCreate();
    void btnStartClick(ui::Control& sender);
    void btnDirectXClick(ui::Control& sender);
    void btnWinMediaClick(ui::Control& sender);
    void btnExitClick(ui::Control& sender);

    TProgramState& state_;
    AnsiString discDir_;
};

} // namespace tarn
