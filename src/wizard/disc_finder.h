// Where disc i of a set lies. A disc changer puts every disc into the same
// drive, but on Linux each disc mounts at a path named after its label, and
// disc images or copies lie side by side: so besides the source directory the
// run looks at the paths given on the command line, the folders beside the
// source directory and the places where media are mounted.
#pragma once

#include <map>
#include <optional>

#include "base/text.h"
#include "setup/install_set.h"

namespace tarn {

class DiscFinder {
public:
    // sourceDir: where the run started (the drive); discPaths: where disc N
    // (one-based) lies by the command line; a candidate counts only when its
    // description has the title and registry key of the one the run started with.
    DiscFinder(AnsiString sourceDir, std::map<int, AnsiString> discPaths, const TTarnInstallSet& started);

    // The places looked at for disc index i (from 0), in order, each with a
    // trailing backslash, without repeats.
    StringList Candidates(int index) const;

    struct Found {
        AnsiString Dir; // with a trailing backslash
        TTarnInstallSet Description;
    };
    // The first candidate whose install.dat loads and describes disc index i
    // of this set.
    std::optional<Found> Find(int index) const;

    // Whether dir holds disc index i of this set (its description, loaded, in found).
    bool Holds(const AnsiString& dir, int index, TTarnInstallSet* found = nullptr) const;

private:
    AnsiString sourceDir_;
    std::map<int, AnsiString> discPaths_;
    AnsiString title_, registryKey_;
};

// The disc images among the files of dir, by their names (a track file whose
// sheet lies beside it is the sheet's); none where dir cannot be read.
StringList DiscImagesIn(const AnsiString& dir);

} // namespace tarn
