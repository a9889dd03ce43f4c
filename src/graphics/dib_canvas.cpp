// The canvas: colours in, pixel values out, and back.
#include <unordered_map>

#include "graphics/dib_surface.h"

#include <algorithm>
#include <vector>

namespace tarn {

namespace {

uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
uint8_t Widen6(uint32_t v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

} // namespace

uint32_t TCanvas::ValueOfColor(TColor color) const
{
    uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    switch (surface_.EffectiveDepth()) {
    case 1:
    case 4:
    case 8:
        return surface_.NearestIndex(r, g, b);
    case 15:
        return uint32_t(r >> 3) << 10 | uint32_t(g >> 3) << 5 | uint32_t(b >> 3);
    case 16:
        return uint32_t(r >> 3) << 11 | uint32_t(g >> 2) << 5 | uint32_t(b >> 3);
    default: // 24 and 32 bits: blue, green, red (and a fourth byte 0)
        return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
    }
}

TColor TCanvas::ColorOfValue(uint32_t value) const
{
    switch (surface_.EffectiveDepth()) {
    case 1:
    case 4:
    case 8: {
        const TRGBQuad& q = surface_.Palette()[value & 0xFF];
        return RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case 15:
        return RGBColor(Widen5(value >> 10 & 31), Widen5(value >> 5 & 31), Widen5(value & 31));
    case 16:
        return RGBColor(Widen5(value >> 11 & 31), Widen6(value >> 5 & 63), Widen5(value & 31));
    default:
        return RGBColor(value >> 16, value >> 8, value);
    }
}

void TCanvas::FillRect(const TRect& r) { surface_.FillValue(r, ValueOfColor(Brush.Color)); }

TColor TCanvas::Pixel(int32_t x, int32_t y) const { return ColorOfValue(surface_.Pixel(x, y)); }

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) { surface_.SetPixel(x, y, ValueOfColor(color)); }

void TCanvas::Draw(int32_t x, int32_t y, const TDIBSurface& source)
{
    // Pictures of the surface's own format above 8 bits move row by row (the
    // title image is one); at 32 bits the fourth byte becomes 0 as a copy
    // through colours would make it.
    if (!source.Empty() && !surface_.Empty() && source.BitDepth() == surface_.BitDepth() &&
        source.GreenMask() == surface_.GreenMask() && source.BitDepth() > 8) {
        TRect saved = surface_.ClipBounds;
        surface_.ClipBounds = TRect{};
        surface_.BlitRect(x, y, source.FullRect(), source);
        surface_.ClipBounds = saved;
        if (surface_.BitDepth() == 32) {
            int32_t x0 = std::max(x, 0), x1 = std::min(x + source.Width(), surface_.Width());
            int32_t y0 = std::max(y, 0), y1 = std::min(y + source.Height(), surface_.Height());
            for (int32_t row = y0; row < y1; ++row) {
                uint8_t* p = surface_.RowAddress(row);
                for (int32_t col = x0; col < x1; ++col)
                    p[col * 4 + 3] = 0;
            }
        }
        return;
    }
    StretchDraw(Rect(x, y, x + source.Width(), y + source.Height()), source);
}

void TCanvas::StretchDraw(const TRect& dest, const TDIBSurface& source)
{
    if (source.Empty() || surface_.Empty() || dest.IsEmpty())
        return;
    const TCanvas& from = const_cast<TDIBSurface&>(source).Canvas();
    // Palette targets search the palette once per distinct colour.
    std::unordered_map<uint32_t, uint32_t> cache;
    bool sameFormat = source.BitDepth() == surface_.BitDepth() && source.GreenMask() == surface_.GreenMask() && source.BitDepth() > 8;
    int64_t dw = dest.Width(), dh = dest.Height();
    int32_t x0 = dest.Left < 0 ? 0 : dest.Left, x1 = dest.Right > surface_.Width() ? surface_.Width() : dest.Right;
    int32_t y0 = dest.Top < 0 ? 0 : dest.Top, y1 = dest.Bottom > surface_.Height() ? surface_.Height() : dest.Bottom;
    if (sameFormat && source.BitDepth() == 24 && x0 < x1) {
        // Nearest pixels of a 24-bit picture: one source column table, row pointers.
        std::vector<int32_t> columns(static_cast<size_t>(x1 - x0));
        for (int32_t x = x0; x < x1; ++x)
            columns[static_cast<size_t>(x - x0)] = static_cast<int32_t>((x - dest.Left) * int64_t(source.Width()) / dw) * 3;
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* in = source.RowAddress(static_cast<int32_t>((y - dest.Top) * int64_t(source.Height()) / dh));
            uint8_t* out = surface_.RowAddress(y) + static_cast<size_t>(x0) * 3;
            for (int32_t c : columns) {
                out[0] = in[c], out[1] = in[c + 1], out[2] = in[c + 2];
                out += 3;
            }
        }
        return;
    }
    for (int32_t y = y0; y < y1; ++y) {
        int32_t sy = static_cast<int32_t>((y - dest.Top) * int64_t(source.Height()) / dh);
        for (int32_t x = x0; x < x1; ++x) {
            int32_t sx = static_cast<int32_t>((x - dest.Left) * int64_t(source.Width()) / dw);
            uint32_t v = source.Pixel(sx, sy);
            if (!sameFormat) {
                auto it = cache.find(v);
                if (it == cache.end())
                    it = cache.emplace(v, ValueOfColor(from.ColorOfValue(v))).first;
                v = it->second;
            } else if (surface_.BitDepth() == 32) {
                v &= 0xFFFFFF;
            }
            surface_.SetPixel(x, y, v);
        }
    }
}

} // namespace tarn
