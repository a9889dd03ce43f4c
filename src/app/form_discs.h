// TFormDiscs: the disc chooser of a start without a disc (the program
// installed elsewhere than on a disc, started from a menu or a terminal). It
// lists the discs of games found, or says that there are none; a person
// chooses one of them, or another folder, install.dat or disc image
// through 参照... (in the console: typed as a path), and start-up goes on as
// the program lying on that disc.
#pragma once

#include <vector>

#include "ui/form.h"
#include "wizard/game_discs.h"

namespace tarn {

class TFormDiscs : public ui::Form {
public:
    explicit TFormDiscs(std::vector<GameDisc> discs);

    // The disc chosen when the form closed with OK: a folder or an image
    // (mounted), without a trailing backslash.
    AnsiString Chosen;

    ui::Label& Message;
    ui::Label& Hint;
    ui::ListBox& Discs;
    ui::Button& btnStart;
    ui::Button& btnBrowse;
    ui::Button& btnExit;

private:
    void btnStartClick();
    void btnBrowseClick();
    // A path a person gave: taken when it holds a disc, else the reason is
    // shown and the form stays. True when taken.
    bool Take(const AnsiString& path);

    std::vector<GameDisc> discs_;
};

// The file dialog's filters of 参照...: descriptions and images first.
StringList DiscFileFilters();

} // namespace tarn
