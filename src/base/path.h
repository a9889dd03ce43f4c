// Windows-form paths in CP932: drive letter, colon, backslashes. A 0x5C byte
// that is the second byte of a two-byte character (ソ, 表, ...) is never a separator.
#pragma once

#include "base/text.h"

namespace tarn {

// True when the byte at the 1-based position is a backslash that is a
// single-byte character; false for positions outside the path.
bool IsPathSeparator(std::string_view path, int position);

// The path with a backslash appended unless its last character already is
// one (an empty path gives "\").
AnsiString AddBackslash(std::string_view path);
// The path without one trailing separator.
AnsiString ExcludeTrailingBackslash(std::string_view path);
// Removes the last component: A\B\C\ -> A\B, A\B -> A, A -> "".
void StripLastPathPart(AnsiString& path);

// Everything up to and including the last backslash or colon ("" when none).
AnsiString ExtractFilePath(std::string_view path);
// Everything after that point.
AnsiString ExtractFileName(std::string_view path);
// From the last dot after the last separator or colon, dot included ("" when none).
AnsiString ExtractFileExt(std::string_view path);
// The path with its extension replaced (ext includes the dot, or is empty).
AnsiString ChangeFileExt(std::string_view path, std::string_view ext);

// A drive or network path with "." and ".." components resolved, repeated
// separators collapsed and no trailing separator (a drive's root keeps its
// own: "C:\"). ".." never climbs above the root.
AnsiString NormalizedPath(std::string_view path);

// Whether a relative path names something at or below the folder it is taken
// from: no root, no drive, no colon (a stream or a drive-relative path), and
// no ".." that climbs above where it starts.
bool StaysBelow(std::string_view relative);

// Splits a command line byte by byte: outside quotes every byte below '!'
// separates; a double quote opens or closes a quoted stretch and is dropped;
// a backslash is an ordinary byte. "D:\" gives D:\ .
StringList SplitCommandLine(std::string_view commandLine);

} // namespace tarn
