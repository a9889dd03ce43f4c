// A disc of the set, looked for as the runs look for one: the places given
// on the command line, beside the first disc, images, drives and mounted
// media; where it is in none of them, the host asks for it (a person points
// at a place or inserts the disc; without a person the run ends).
#pragma once

#include <map>
#include <optional>

#include "base/text.h"
#include "setup/install_set.h"
#include "wizard/disc_finder.h"
#include "wizard/run_host.h"

namespace tarn {

class DiscFetch {
public:
    // startS: the directory the run started on; given: where disc N
    // (one-based) lies by the command line; set: the game's description.
    DiscFetch(AnsiString startS, std::map<int, AnsiString> given, const TTarnInstallSet& set);

    // Disc index (from 0), found, or none when the person gave up.
    std::optional<DiscFinder::Found> Fetch(int index, RunHost& host);

private:
    std::map<int, AnsiString> Paths() const;
    AnsiString TryPlace(const AnsiString& place, int index);

    const AnsiString startS_;
    const std::map<int, AnsiString> given_;
    const TTarnInstallSet& set_;
    // Where the person pointed for a disc during this run (one-based, as --disc).
    std::map<int, AnsiString> pointedAt_;
};

} // namespace tarn
