// Depth conversion of the surface and the search for an unused palette index.
#include <array>
#include <cstring>

#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"
#include "graphics/quantize.h"

namespace tarn {

namespace {

// The picture's colours, rows top first.
TRgbPicture ColorsOf(TDIBSurface& s)
{
    TRgbPicture p;
    p.Width = s.Width(), p.Height = s.Height();
    p.Rgb.resize(3 * static_cast<size_t>(p.Width) * static_cast<size_t>(p.Height));
    uint8_t* out = p.Rgb.data();
    const int32_t bits = s.BitDepth();
    std::array<TColor, 256> table {};
    if (bits <= 8)
        for (size_t i = 0; i < table.size(); ++i)
            table[i] = s.Canvas().ColorOfValue(static_cast<uint32_t>(i));
    for (int32_t y = 0; y < p.Height; ++y) {
        const uint8_t* row = s.RowAddress(y);
        for (int32_t x = 0; x < p.Width; ++x, out += 3) {
            if (bits == 24 || bits == 32) {
                const uint8_t* px = row + static_cast<size_t>(x) * static_cast<size_t>(bits / 8);
                out[0] = px[2], out[1] = px[1], out[2] = px[0];
                continue;
            }
            TColor c = bits <= 8 ? table[s.Pixel(x, y)] : s.Canvas().ColorOfValue(s.Pixel(x, y));
            out[0] = GetRValue(c), out[1] = GetGValue(c), out[2] = GetBValue(c);
        }
    }
    return p;
}

} // namespace

void TDIBSurface::ConvertDepth(int32_t bitDepth, int32_t mode, int32_t option)
{
    switch (bitDepth) {
    case 1: case 4: case 8: case 15: case 16: case 24: case 32:
        break;
    default:
        throw EGraphicError(msg::BadBitCount, { bitDepth });
    }
    if (Empty()) {
        Resize(0, 0, bitDepth);
        return;
    }
    // Two colours are chosen from sixteen rather than from the whole picture.
    if (bitDepth == 1 && bitDepth_ > 7)
        ConvertDepth(4, mode, option);
    TRgbPicture picture = ColorsOf(*this);
    const size_t w = static_cast<size_t>(width_);
    if (bitDepth <= 8) {
        std::vector<TRGBQuad> palette = mode == 1 ? FixedPalette(1 << bitDepth) : MedianCutPalette(picture, 1 << bitDepth);
        std::vector<uint8_t> indices = MapToPalette(picture, palette, option == 1);
        Resize(width_, height_, bitDepth);
        ColorTable = {};
        std::copy(palette.begin(), palette.end(), ColorTable.begin());
        ApplyColorTable();
        for (int32_t y = 0; y < height_; ++y) {
            uint8_t* row = RowAddress(y);
            if (bitDepth == 8) {
                std::memcpy(row, indices.data() + static_cast<size_t>(y) * w, w);
                continue;
            }
            std::memset(row, 0, static_cast<size_t>(stride_));
            for (int32_t x = 0; x < width_; ++x)
                SetPixel(x, y, indices[static_cast<size_t>(y) * w + static_cast<size_t>(x)]);
        }
        return;
    }
    Resize(width_, height_, bitDepth);
    for (int32_t y = 0; y < height_; ++y) {
        uint8_t* row = RowAddress(y);
        const uint8_t* c = picture.Rgb.data() + static_cast<size_t>(y) * w * 3;
        for (size_t x = 0; x < w; ++x, c += 3) {
            uint32_t r = c[0], g = c[1], b = c[2];
            switch (bitDepth) {
            case 15: {
                auto v = static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
                std::memcpy(row + 2 * x, &v, 2);
                break;
            }
            case 16: {
                auto v = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
                std::memcpy(row + 2 * x, &v, 2);
                break;
            }
            case 24:
                row[3 * x] = static_cast<uint8_t>(b), row[3 * x + 1] = static_cast<uint8_t>(g), row[3 * x + 2] = static_cast<uint8_t>(r);
                break;
            default:
                row[4 * x] = static_cast<uint8_t>(b), row[4 * x + 1] = static_cast<uint8_t>(g), row[4 * x + 2] = static_cast<uint8_t>(r);
                row[4 * x + 3] = 0xFF;
                break;
            }
        }
    }
}

int32_t TDIBSurface::FindUnusedIndex() const
{
    if (bitDepth_ != 1 && bitDepth_ != 4 && bitDepth_ != 8)
        return -1;
    if (Empty())
        return 0;
    if (bitDepth_ == 1) {
        uint32_t first = Pixel(0, 0);
        for (int32_t y = 0; y < height_; ++y)
            for (int32_t x = 0; x < width_; ++x)
                if (Pixel(x, y) != first)
                    return -1;
        return static_cast<int32_t>(1 - first);
    }
    const int32_t values = 1 << bitDepth_;
    std::array<bool, 256> seen {};
    int32_t distinct = 0;
    for (int32_t y = 0; y < height_ && distinct < values; ++y) {
        const uint8_t* row = RowAddress(y);
        for (int32_t x = 0; x < width_ && distinct < values; ++x) {
            uint32_t v = bitDepth_ == 8 ? row[x] : (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
            if (!seen[v])
                seen[v] = true, ++distinct;
        }
    }
    for (int32_t v = 0; v < values; ++v)
        if (!seen[static_cast<size_t>(v)])
            return v;
    return -1;
}

} // namespace tarn
