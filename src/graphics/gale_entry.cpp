#include "graphics/gale_entry.h"

namespace tarn {

std::unique_ptr<TGaleFrameList> LoadGaleEntry(TVrFileCollection& archive, const AnsiString& name, int32_t seed)
{
    TMemoryStream stream;
    archive.LoadEntry(stream, name);
    auto frames = std::make_unique<TGaleFrameList>(seed);
    frames->LoadFromStream(stream, true);
    return frames;
}

} // namespace tarn
