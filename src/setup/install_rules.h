// Which files of a disc the install run copies, and for which component.
// The disc builder sizes the components by the same rules, so that what a
// disc's description promises is what an installation from it copies.
#pragma once

#include "base/text.h"

namespace tarn {

// 0 for program files, 1 for sound, 2 for movie, by the lower-cased
// extension (dot included) occurring anywhere in ".mp2.mp3.wma.wav.mid"
// (sound) or ".avi.wmv.asf.mpg.mpeg" (movie). Occurring, not equalling:
// ".mp" is sound and ".mpe" movie. An empty extension is 0.
int MediaKindOf(const AnsiString& ext);

// True for the extension of a numbered archive piece (game.001): the up to
// three characters after the dot are decimal digits. ".12x" and ".-1" are not.
bool IsNumberedPieceExt(const AnsiString& ext);

enum class TDiscFileKind { NotCopied, Program, Sound, Movie };

// What the install run does with entry, a file found below sourceDir (the
// disc's directory, with its trailing backslash): numbered pieces, the setup
// programs' folders directx\ and winmedia\ (any letter case) and .dat files
// (the archive, the description, save data) are never copied; sound and movie
// files belong to their components; everything else is program.
TDiscFileKind DiscFileKindOf(const AnsiString& entry, const AnsiString& sourceDir);

} // namespace tarn
