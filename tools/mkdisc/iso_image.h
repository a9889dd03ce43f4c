// A disc folder as an ISO 9660 image with a Joliet volume: the Joliet names are
// the folder's names at full length, the primary names short upper-case forms
// of them (non-ASCII names kept as CP932 bytes, as Japanese discs had them).
// The same folder always gives the same bytes.
#pragma once

#include <cstdint>
#include <functional>

#include "base/text.h"

namespace tarn::mkdisc {

enum class ImageFormat { None, Iso, Cue };

struct ImageTarget {
    ImageFormat Format = ImageFormat::Iso;
    AnsiString Base;     // the image's path without extension: Base.iso, or Base.bin and Base.cue
    AnsiString VolumeId; // ASCII, at most 16 characters
    std::function<void(int64_t done, int64_t total)> OnProgress; // bytes of the files
};

// Writes the folder dir (trailing backslash) as an image. Raises ToolError for
// what an image cannot hold (a file of 4 GiB or more, a name too long for
// Joliet, a name that is no CP932) and when a file cannot be read or written.
void WriteDiscImage(const AnsiString& dir, const ImageTarget& target);

} // namespace tarn::mkdisc
