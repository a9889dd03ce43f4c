// The icon and cursor reader: any bytes either load or raise an error; an
// image read with its mask is written back as an icon with that mask as its
// transparency and reads back with the same mask and the same colours where
// it is opaque.
#include <cstdlib>

#include "base/error.h"
#include "fuzz_support.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The chooser takes the image the input's length points at.
    SetIconChooser([size](const TIconChoice& choice) {
        TDIBSurface preview;
        try {
            choice.ReadImage(static_cast<int32_t>(size % choice.Images.size()), preview);
        } catch (const Exception&) {
        }
        return static_cast<int32_t>(size % choice.Images.size());
    });
    TDIBSurface s;
    TLoadResults r;
    int32_t key = size % 3 == 0 ? -1 : static_cast<int32_t>(size * 2654435761u & 0xFFFFFF);
    const bool keepAlpha = size % 5 == 0;
    try {
        DecodeIcon(bytes, s, key, r, keepAlpha, size % 2 == 1);
    } catch (const Exception&) {
        return 0;
    }
    bool bitmap = size >= 2 && data[0] == 'B' && data[1] == 'M';
    if (bitmap || s.Empty() || !s.HasMask() || s.Width() > 256 || s.Height() > 256)
        return 0;
    if (key != -1)
        std::abort(); // a kept mask means no key
    const TDIBSurface& mask = *s.Mask();
    std::string again = EncodeIcon(s, -1, r.HotSpot, r.HasAlphaMask, &mask, size % 7 == 0);
    TDIBSurface back;
    TLoadResults backResults;
    int32_t backKey = -1;
    DecodeIcon(again, back, backKey, backResults, true, false);
    if (back.Width() != s.Width() || back.Height() != s.Height() || !back.HasMask())
        std::abort();
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x) {
            uint32_t m = mask.Pixel(x, y);
            // Without alpha bytes the transparency is one bit: below 128 is transparent.
            uint32_t want = r.HasAlphaMask ? m : m < 128 ? 0 : 255;
            if (back.Mask()->Pixel(x, y) != want)
                std::abort();
            if (want != 0 && s.Canvas().Pixel(x, y) != back.Canvas().Pixel(x, y))
                std::abort();
        }
    return 0;
}
