// What a run is to do, whoever shows it: start-up fills in what the command
// line says, the wizard (or the unattended run) what its pages (or options)
// choose. Nothing of it lives on a form.
#pragma once

#include <map>

#include "base/text.h"

namespace tarn {

struct RunOptions {
    // Install: every disc of the set or only the one the run starts on; the
    // components beside the program; the destination as a person typed it
    // (platform::PathFromTyped).
    bool AllDiscs = false;
    bool Data = false, Sound = false, Movie = false;
    AnsiString Destination;
    // A destination that holds other files (and no installation of this
    // game) is taken only when this is set (the person said yes, or
    // --dir-not-empty-ok).
    bool AcceptNonEmpty = false;
    // Uninstall: the installation that goes, and whether save.dat goes with it.
    AnsiString Installation;
    bool DeleteSave = true;
    // Both: false makes (and removes) no program group; false skips the fixed
    // pauses (nobody waits for a program manager or a drive in a benchmark).
    bool Shortcuts = true;
    bool Pauses = true;
    // Install: a record of the installation is kept (outside it), with every
    // file's SHA-256 as it is copied; false only to measure what that costs.
    bool Manifest = true;
    // The wizard opens on the installation and repairs it at once; the discs
    // are looked for beside RepairStart (the disc the repair was asked on)
    // when given, else beside the installation.
    bool Repair = false;
    AnsiString RepairStart;
    // Where disc N (one-based) lies, looked at before the other places.
    std::map<int, AnsiString> DiscPaths;
};

} // namespace tarn
