// A Gale image that lies in a VF archive (the title picture of a disc).
#pragma once

#include <memory>

#include "archive/vr_files.h"
#include "graphics/gale.h"

namespace tarn {

// The entry name of archive read as a Gale image with seed, first frame only
// (a loose file of that name beside the archive comes first, as LoadEntry
// has it). Raises the archive's or the reader's error.
std::unique_ptr<TGaleFrameList> LoadGaleEntry(TVrFileCollection& archive, const AnsiString& name, int32_t seed);

} // namespace tarn
