// Colour reduction for depth conversion: choosing a palette for a picture
// and mapping its pixels onto it, with or without error diffusion.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/graphics_types.h"

namespace tarn {

// A picture as 8-bit red, green, blue triples, rows top first.
struct TRgbPicture {
    int32_t Width = 0, Height = 0;
    std::vector<uint8_t> Rgb; // 3 x Width x Height
};

// At most maxColors colours for the picture. When it holds no more distinct
// colours than that, exactly those (in the order they first occur); otherwise
// a median cut of its colour histogram: the box with the largest squared
// error is split at the median of its widest channel until there are
// maxColors boxes, each giving the mean of its pixels.
std::vector<TRGBQuad> MedianCutPalette(const TRgbPicture& picture, int32_t maxColors);
// A fixed palette of 2, 16 or 256 colours: black and white; the sixteen
// colours of the classic display adapters; 3-3-2 levels of red, green, blue.
std::vector<TRGBQuad> FixedPalette(int32_t colors);
// The index of the nearest palette colour for every pixel (squared distance,
// lowest index on ties), rows top first. With dither the error of each pixel
// is spread onto its neighbours (Floyd-Steinberg: 7/16 right, 3/16 below
// left, 5/16 below, 1/16 below right).
std::vector<uint8_t> MapToPalette(const TRgbPicture& picture, const std::vector<TRGBQuad>& palette, bool dither);

} // namespace tarn
