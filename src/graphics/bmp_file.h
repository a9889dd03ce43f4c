// Device-independent bitmap files (.bmp) of the surface.
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace tarn {

class TDIBSurface;

// The 14-byte file header and the 40-byte info header, rows bottom-up; at 8
// bits or fewer a colour table of 2^bits entries (fourth byte 0); 16 bits as
// bit fields with the format's three masks after the info header; 24 bits
// plain; 32 bits as bit fields (0xFF0000, 0xFF00, 0xFF) or, with
// bitFields32 false, plain, the fourth byte as the surface holds it.
std::string EncodeBitmap(const TDIBSurface& surface, bool bitFields32 = true);
// Info headers of 12, 40, 52, 56, 108 and 124 bytes; bottom-up and top-down
// rows; plain and bit-field pixels at every depth that has them. Compressed
// bitmaps are refused. The surface is replaced (its mask freed) only when
// the whole file is good.
void DecodeBitmap(std::string_view bytes, TDIBSurface& surface);

void LoadBitmapFile(TDIBSurface& surface, const AnsiString& fileName);
void SaveBitmapFile(const TDIBSurface& surface, const AnsiString& fileName);

} // namespace tarn
