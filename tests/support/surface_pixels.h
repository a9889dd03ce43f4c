// A surface's pixel values row by row from the top, for comparing whole pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/dib_surface.h"

namespace tarn::test {

inline std::vector<uint32_t> Pixels(const TDIBSurface& s)
{
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x)
            v.push_back(s.Pixel(x, y));
    return v;
}

} // namespace tarn::test
