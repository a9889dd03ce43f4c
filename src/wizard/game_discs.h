// The discs of games a person has at hand, for a start without a disc: the
// program installed elsewhere than on a disc looks where discs lie (its own
// folder and the folders beside it, the current directory, the mounted
// media, the drives) and lists every disc of any game it finds there.
#pragma once

#include <optional>
#include <vector>

#include "base/text.h"

namespace tarn {

struct GameDisc {
    // The folder, image file or drive device the disc is read from (a
    // program path without a trailing backslash); mounted when an image.
    AnsiString Place;
    AnsiString Title;
    int Index = 0; // from 0
    int Count = 1;
};

// The disc at path: a folder holding install.dat, that install.dat itself,
// or a disc image or a drive whose root holds it (mounted here). The
// description must be a disc's (not an installed game's) with a usable disc
// number. None otherwise, with why (a person's text) when given.
std::optional<GameDisc> GameDiscAt(const AnsiString& path, AnsiString* why = nullptr);

// Every disc found, ordered by title, then disc number, then the order of
// the places looked at: programDir and the folders beside it, with the images
// in them and beside them; currentDir, the folders in it and the images in
// both; the optical drives; the mounted media and the images at their roots.
// A place reached twice is listed once.
std::vector<GameDisc> FindGameDiscs(const AnsiString& programDir, const AnsiString& currentDir);

// A row of the list: "Title — ディスク i / n — place", the place as the host
// shows it.
AnsiString GameDiscText(const GameDisc& disc);

} // namespace tarn
