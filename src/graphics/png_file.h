// PNG pictures of a surface, behind one small interface: libpng on Linux, the
// Windows Imaging Component on Windows, with the same results on both.
#pragma once

#include <string>
#include <string_view>

namespace tarn {

class TDIBSurface;

// Whether this build can read and write PNG.
bool PngAvailable();
// 8 bits per channel: RGB, or RGBA with the mask as alpha when the surface
// has one. Palette depths go through the colour table, 5- and 6-bit channels
// are widened by bit replication, a 32-bit surface's fourth byte is dropped.
std::string EncodePng(const TDIBSurface& surface);
// A 24-bit surface (with a mask from the alpha channel or a transparency
// chunk), or an 8-bit surface with the palette for palette pictures (a mask
// from their transparency when they have it). The surface is replaced only
// when the whole picture was read.
void DecodePng(std::string_view bytes, TDIBSurface& surface);

} // namespace tarn
