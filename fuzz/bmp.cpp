// The bitmap reader with alpha: any bytes either load or raise an error;
// what loads is written back (with its mask as alpha when it has one) and
// reads back the same.
#include <cstdlib>
#include <cstring>

#include "base/error.h"
#include "fuzz_support.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool keepAlpha = size % 2 == 1;
    TDIBSurface s;
    TLoadResults r;
    try {
        DecodeBitmapAlpha(bytes, s, r, keepAlpha);
    } catch (const Exception&) {
        return 0;
    }
    if (r.HasAlphaMask != s.HasMask())
        std::abort();
    std::string again = s.HasMask() ? EncodeBitmapAlpha(s, *s.Mask()) : EncodeBitmap(s, false);
    TDIBSurface back;
    TLoadResults backResults;
    DecodeBitmapAlpha(again, back, backResults, s.HasMask());
    if (back.Width() != s.Width() || back.Height() != s.Height() || back.EffectiveDepth() != s.EffectiveDepth())
        std::abort();
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x)
            if (s.Pixel(x, y) != back.Pixel(x, y) || (s.HasMask() && s.Mask()->Pixel(x, y) != back.Mask()->Pixel(x, y)))
                std::abort();
    if (s.BitDepth() <= 8 && std::memcmp(s.ColorTable.data(), back.ColorTable.data(), sizeof(TRGBQuad) << s.BitDepth()) != 0)
        std::abort();
    return 0;
}
