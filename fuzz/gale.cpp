// The Gale reader: any bytes either load or raise an error, within a bounded
// pixel budget; what loads is written back as rows and reads back the same.
#include <cstdlib>
#include <cstring>

#include "base/error.h"
#include "fuzz_support.h"
#include "graphics/gale.h"
#include "graphics/gale_writer.h"

namespace tarn::fuzz {
// The seed the corpus was written with.
constexpr int32_t GaleSeed = 0x5EED;
} // namespace tarn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn;
    TGaleFrameList list(fuzz::GaleSeed);
    list.MaxPixelBytes = 16 << 20;
    try {
        list.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size), size % 2 == 1);
    } catch (const Exception&) {
        return 0;
    }
    std::vector<TGaleWriterFrame> frames;
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TGaleFrame& f = list.Frames(i);
        if (f.LayerCount() != 0)
            std::abort(); // layers must be gone after loading
        frames.push_back(TGaleWriterFrame::OfSurface(f.Surface));
    }
    TGaleWriterOptions o;
    // Rows in order: a picture of millions of one-pixel rows (a frame without
    // layers holds no data) is cheap to read but slow to permute.
    o.Version = 106;
    o.Seed = 7;
    std::string again = WriteGale(frames, o);
    TGaleFrameList back(7);
    back.LoadFromBytes(again, false);
    if (back.Count() != list.Count())
        std::abort();
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TDIBSurface& a = list.Frames(i).Surface;
        const TDIBSurface& b = back.Frames(i).Surface;
        if (a.ImageSize() != b.ImageSize() || (a.ImageSize() && std::memcmp(a.Bits(), b.Bits(), a.ImageSize()) != 0))
            std::abort();
        // An empty picture keeps no mask through a file: its mask block is empty.
        if ((!a.Empty() && a.HasMask() != b.HasMask()) ||
            (a.HasMask() && b.HasMask() && a.Mask()->ImageSize() && std::memcmp(a.Mask()->Bits(), b.Mask()->Bits(), a.Mask()->ImageSize()) != 0))
            std::abort();
    }
    return 0;
}
