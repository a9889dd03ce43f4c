// The TGA reader: any bytes either load or raise an error, within a bounded
// pixel budget; what loads is written back plainly and run-length encoded
// and reads back the same.
#include <cstdlib>
#include <cstring>

#include "base/error.h"
#include "fuzz_support.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"

namespace {

using namespace tarn;

bool SamePixels(const TDIBSurface& a, const TDIBSurface& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.EffectiveDepth() != b.EffectiveDepth())
        return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y))
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool keepAlpha = size % 2 == 1;
    TDIBSurface s;
    int32_t key = -1;
    TLoadResults r;
    try {
        DecodeTga(bytes, s, key, r, keepAlpha);
    } catch (const Exception&) {
        return 0;
    }
    if (s.Empty())
        return 0;
    if (r.HasAlphaMask != s.HasMask() || (r.HasAlphaMask && s.BitDepth() != 24))
        std::abort();
    const TDIBSurface* alpha = s.HasMask() ? s.Mask() : nullptr;
    for (bool rle : { false, true }) {
        std::string again = EncodeTga(s, key, rle, alpha);
        TDIBSurface back;
        int32_t backKey = -1;
        TLoadResults backResults;
        DecodeTga(again, back, backKey, backResults, alpha != nullptr);
        int32_t depth = s.BitDepth();
        if (depth < 8) {
            // Written as 8 bits: the values stay, the picture widens.
            for (int32_t y = 0; y < s.Height(); ++y)
                for (int32_t x = 0; x < s.Width(); ++x)
                    if (s.Pixel(x, y) != back.Pixel(x, y))
                        std::abort();
        } else if (!SamePixels(s, back)) {
            std::abort();
        }
        if (backResults.IsRunLength != rle)
            std::abort();
        if (depth <= 8 && std::memcmp(s.ColorTable.data(), back.ColorTable.data(), sizeof(TRGBQuad) << depth) != 0)
            std::abort();
        if (alpha && (!back.HasMask() || !SamePixels(*s.Mask(), *back.Mask())))
            std::abort();
        // A key of a true-colour picture comes back as it was; none comes back as none.
        if (!alpha && (key < 0 || depth > 8) && backKey != key)
            std::abort();
    }
    return 0;
}
