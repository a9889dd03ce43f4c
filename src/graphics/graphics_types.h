// Small value types of the graphics layer: colours, rectangles, the errors.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "base/error.h"

namespace tarn {

// A colour of the window toolkit: 0x00BBGGRR (the high byte is ignored).
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clNavy = 0x800000;

constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>(c >> 16); }
constexpr TColor RGBColor(uint32_t r, uint32_t g, uint32_t b) { return (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16; }

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Left >= Right || Top >= Bottom; }
    bool operator==(const TRect&) const = default;
};
constexpr TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect { l, t, r, b }; }

struct TPoint {
    int32_t X = 0, Y = 0;
    bool operator==(const TPoint&) const = default;
};

// A colour-table entry as the bitmap files store it.
struct TRGBQuad {
    uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
    bool operator==(const TRGBQuad&) const = default;
};

// Errors of surfaces and image files (bad sizes, formats, damaged files).
class EGraphicError : public Exception {
    using Exception::Exception;
};

} // namespace tarn
