// The sample game's one screen: its title picture and whether every entry of
// the installed game.dat could be read.
#pragma once

#include "base/text.h"

namespace sample {

struct CheckResult {
    int Entries = 0; // in game.dat, without the directory's end marker
    int Loaded = 0;
    tarn::StringList Failures; // "name: message", CP932
    bool TitleShown = false;
};

// Reads install.dat and game.dat in dir (with its trailing backslash), loads
// every entry and the title picture, and shows them in a form through the
// application's backend until it is closed. Errors of install.dat go to the
// caller; everything about the archive ends up in the result.
CheckResult RunTitleScreen(const tarn::AnsiString& dir);

} // namespace sample
