#include "graphics/dib_surface.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/path.h"
#include "graphics/bmp_file.h"
#include "graphics/graphics_messages.h"
#include "graphics/image_files.h"

namespace tarn {

void TDIBSurface::FreeDeleter::operator()(uint8_t* p) const { std::free(p); }

TDIBSurface::TDIBSurface() = default;

TDIBSurface::~TDIBSurface()
{
    mask_.reset(); // the mask goes first, then the base
}

namespace {

bool ValidDepth(int32_t depth)
{
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

} // namespace

void TDIBSurface::Rebuild(int32_t width, int32_t height, int32_t bitDepth, bool clear)
{
    uint32_t r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
    int32_t depth = bitDepth;
    if (bitDepth == 15)
        depth = 16, r = 0x7C00, g = 0x03E0, b = 0x001F;
    else if (bitDepth == 16)
        r = 0xF800, g = 0x07E0, b = 0x001F;
    if (!ValidDepth(depth))
        throw EGraphicError(msg::BadBitCount, { bitDepth });
    if (width <= 0 || height <= 0)
        width = 0, height = 0;
    if (width == width_ && height == height_ && depth == bitDepth_ && r == redMask_ && g == greenMask_ && b == blueMask_)
        return;
    int64_t stride = StrideFor(width, depth);
    int64_t total = stride * height;
    // Row offsets are computed in 32-bit signed arithmetic by every consumer
    // of the bottom-up layout, so the block must stay below 2 GiB.
    if (stride > INT32_MAX || total > INT32_MAX)
        throw EGraphicError(msg::ImageTooLarge, { width, height });
    std::unique_ptr<uint8_t, FreeDeleter> block;
    if (total > 0) {
        void* p = clear ? std::calloc(static_cast<size_t>(total), 1) : std::malloc(static_cast<size_t>(total));
        if (!p)
            throw std::bad_alloc();
        block.reset(static_cast<uint8_t*>(p));
    }
    storage_ = std::move(block);
    bits_ = storage_.get();
    width_ = width, height_ = height, bitDepth_ = depth, stride_ = static_cast<int32_t>(stride);
    redMask_ = r, greenMask_ = g, blueMask_ = b;
}

void TDIBSurface::Resize(int32_t width, int32_t height, int32_t bitDepth)
{
    Rebuild(width, height, bitDepth, true);
    if (mask_)
        mask_->Resize(width_, height_, 8);
}

void TDIBSurface::ResizeForOverwrite(int32_t width, int32_t height, int32_t bitDepth)
{
    Rebuild(width, height, bitDepth, false);
    if (mask_)
        mask_->Resize(width_, height_, 8);
}

void TDIBSurface::SwapPixels(TDIBSurface& other)
{
    if (width_ != other.width_ || height_ != other.height_ || bitDepth_ != other.bitDepth_ || greenMask_ != other.greenMask_)
        throw EGraphicError(msg::BlitFormatMismatch, {});
    std::swap(storage_, other.storage_);
    std::swap(bits_, other.bits_);
}

uint8_t* TDIBSurface::RowAddress(int32_t y)
{
    if (y < 0 || y >= height_)
        throw EGraphicError(msg::ScanLineRange, { y });
    return bits_ + static_cast<size_t>(height_ - 1 - y) * static_cast<size_t>(stride_);
}

uint32_t TDIBSurface::Pixel(int32_t x, int32_t y) const
{
    if (x < 0 || x >= width_ || y < 0 || y >= height_)
        throw EGraphicError(msg::PixelRange, { x, y });
    const uint8_t* row = RowAddress(y);
    switch (bitDepth_) {
    case 1:
        return row[x >> 3] >> (7 - (x & 7)) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8:
        return row[x];
    case 16:
        return static_cast<uint32_t>(row[2 * x] | row[2 * x + 1] << 8);
    case 24:
        return static_cast<uint32_t>(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
    default: {
        uint32_t v;
        std::memcpy(&v, row + 4 * static_cast<size_t>(x), 4);
        return v;
    }
    }
}

void TDIBSurface::SetPixel(int32_t x, int32_t y, uint32_t value)
{
    if (x < 0 || x >= width_ || y < 0 || y >= height_)
        throw EGraphicError(msg::PixelRange, { x, y });
    uint8_t* row = RowAddress(y);
    switch (bitDepth_) {
    case 1: {
        uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<uint8_t>((value & 1) ? row[x >> 3] | bit : row[x >> 3] & ~bit);
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (value & 0x0F));
        else
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | (value & 0x0F) << 4);
        break;
    case 8:
        row[x] = static_cast<uint8_t>(value);
        break;
    case 16:
        row[2 * x] = static_cast<uint8_t>(value), row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
        break;
    case 24:
        row[3 * x] = static_cast<uint8_t>(value), row[3 * x + 1] = static_cast<uint8_t>(value >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(value >> 16);
        break;
    default:
        std::memcpy(row + 4 * static_cast<size_t>(x), &value, 4);
        break;
    }
}

void TDIBSurface::ApplyColorTable()
{
    if (palette_ != ColorTable)
        palette_ = ColorTable;
}

void TDIBSurface::SetDepth(int32_t bitDepth)
{
    if (bitDepth <= 0) {
        Resize(0, 0, bitDepth_ ? bitDepth_ : 24);
        return;
    }
    if (Empty()) {
        Resize(width_ > 0 ? width_ : 1, height_ > 0 ? height_ : 1, bitDepth);
        return;
    }
    TDIBSurface copy;
    copy.AssignSurface(*this);
    copy.FreeMask();
    Resize(width_, height_, bitDepth);
    ApplyColorTable();
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x)
            SetPixel(x, y, canvas_.ValueOfColor(copy.canvas_.ColorOfValue(copy.Pixel(x, y))));
}

void TDIBSurface::NeedMask()
{
    if (!mask_)
        mask_ = std::make_unique<TDIBSurface>();
    if (mask_->width_ != width_ || mask_->height_ != height_ || mask_->bitDepth_ != 8)
        mask_->Resize(width_, height_, 8);
}

void TDIBSurface::FreeMask() { mask_.reset(); }

void TDIBSurface::CopyMaskFrom(const TDIBSurface& source)
{
    NeedMask();
    if (source.bitDepth_ != 8 || source.width_ < width_ || source.height_ < height_)
        throw EGraphicError(msg::BlitFormatMismatch, {});
    size_t rowBytes = static_cast<size_t>(mask_->stride_);
    for (int32_t y = 0; y < mask_->height_; ++y)
        std::memcpy(mask_->RowAddress(y), source.RowAddress(y), rowBytes);
}

void TDIBSurface::AssignSurface(const TDIBSurface& source)
{
    if (&source == this)
        return;
    Resize(source.width_, source.height_, source.bitDepth_ ? source.EffectiveDepth() : 24);
    ColorTable = source.ColorTable;
    ApplyColorTable();
    if (!source.Empty())
        Blit(0, 0, source);
    if (source.mask_) {
        NeedMask();
        for (int32_t y = 0; y < height_; ++y)
            std::memcpy(mask_->RowAddress(y), source.mask_->RowAddress(y), static_cast<size_t>(mask_->stride_));
    } else {
        FreeMask();
    }
}

void TDIBSurface::FillValue(const TRect& rect, uint32_t value)
{
    TRect r = rect;
    if (r.Left < 0)
        r.Left = 0;
    if (r.Top < 0)
        r.Top = 0;
    if (r.Right > width_)
        r.Right = width_;
    if (r.Bottom > height_)
        r.Bottom = height_;
    if (r.IsEmpty() || !ValidDepth(bitDepth_))
        return;
    int32_t effective = EffectiveDepth();
    switch (effective) {
    case 1: value &= 1; break;
    case 4: value &= 0xF; break;
    case 8: value &= 0xFF; break;
    case 15: value &= 0x7FFF; break;
    case 16: value &= 0xFFFF; break;
    case 24: value &= 0xFFFFFF; break;
    default: break;
    }
    size_t w = static_cast<size_t>(r.Width());
    for (int32_t y = r.Top; y < r.Bottom; ++y) {
        uint8_t* row = RowAddress(y);
        int32_t x = r.Left;
        switch (bitDepth_) {
        case 1: {
            for (; x < r.Right && (x & 7); ++x)
                SetPixel(x, y, value);
            int32_t wholeEnd = r.Left + ((r.Right - x) & ~7) + (x - r.Left);
            if (x < wholeEnd) {
                std::memset(row + (x >> 3), value ? 0xFF : 0x00, static_cast<size_t>((wholeEnd - x) >> 3));
                x = wholeEnd;
            }
            for (; x < r.Right; ++x)
                SetPixel(x, y, value);
            break;
        }
        case 4: {
            if (x & 1)
                row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | value), ++x;
            int32_t pairs = (r.Right - x) / 2;
            if (pairs > 0) {
                std::memset(row + (x >> 1), static_cast<int>(value << 4 | value), static_cast<size_t>(pairs));
                x += 2 * pairs;
            }
            if (x < r.Right)
                row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | value << 4);
            break;
        }
        case 8:
            std::memset(row + x, static_cast<int>(value), w);
            break;
        case 16: {
            uint8_t* p = row + 2 * static_cast<size_t>(x);
            for (size_t i = 0; i < w; ++i, p += 2)
                p[0] = static_cast<uint8_t>(value), p[1] = static_cast<uint8_t>(value >> 8);
            break;
        }
        case 24: {
            uint8_t* p = row + 3 * static_cast<size_t>(x);
            for (size_t i = 0; i < w; ++i, p += 3)
                p[0] = static_cast<uint8_t>(value), p[1] = static_cast<uint8_t>(value >> 8), p[2] = static_cast<uint8_t>(value >> 16);
            break;
        }
        default: {
            uint8_t* p = row + 4 * static_cast<size_t>(x);
            for (size_t i = 0; i < w; ++i, p += 4)
                std::memcpy(p, &value, 4);
            break;
        }
        }
    }
}

void TDIBSurface::MirrorHorizontal()
{
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_ / 2; ++x) {
            uint32_t a = Pixel(x, y), b = Pixel(width_ - 1 - x, y);
            SetPixel(x, y, b);
            SetPixel(width_ - 1 - x, y, a);
        }
}

void TDIBSurface::FlipVertical()
{
    std::vector<uint8_t> buffer(static_cast<size_t>(stride_));
    for (int32_t y = 0; y < height_ / 2; ++y) {
        uint8_t* a = RowAddress(y);
        uint8_t* b = RowAddress(height_ - 1 - y);
        std::memcpy(buffer.data(), a, buffer.size());
        std::memcpy(a, b, buffer.size());
        std::memcpy(b, buffer.data(), buffer.size());
    }
}

uint32_t TDIBSurface::NearestIndex(uint8_t r, uint8_t g, uint8_t b) const
{
    int32_t count = bitDepth_ >= 1 && bitDepth_ <= 8 ? 1 << bitDepth_ : 256;
    uint32_t best = 0;
    int32_t bestDistance = INT32_MAX;
    for (int32_t i = 0; i < count; ++i) {
        int32_t dr = palette_[i].rgbRed - r, dg = palette_[i].rgbGreen - g, db = palette_[i].rgbBlue - b;
        int32_t d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d, best = static_cast<uint32_t>(i);
            if (d == 0)
                break;
        }
    }
    return best;
}

uint32_t TDIBSurface::PackColor(uint8_t r, uint8_t g, uint8_t b) const
{
    switch (EffectiveDepth()) {
    case 1:
    case 4:
    case 8:
        return NearestIndex(r, g, b);
    case 15:
        return ((uint32_t(r) << 10) & 0x7FFF) | ((uint32_t(g) << 5) & 0x3FF) | (b & 0x1F);
    case 16:
        return ((uint32_t(r) << 11) & 0xFFFF) | ((uint32_t(g) << 5) & 0x7FF) | (b & 0x1F);
    default:
        return ((uint32_t(r) << 16) & 0xFFFFFF) | ((uint32_t(g) << 8) & 0xFFFF) | b;
    }
}

void TDIBSurface::UnpackColor(uint32_t value, uint8_t& r, uint8_t& g, uint8_t& b) const
{
    switch (EffectiveDepth()) {
    case 1:
    case 4:
    case 8: {
        const TRGBQuad& q = ColorTable[value & 0xFF];
        r = q.rgbRed, g = q.rgbGreen, b = q.rgbBlue;
        break;
    }
    case 15:
        r = (value >> 10) & 31, g = (value >> 5) & 31, b = value & 31;
        break;
    case 16:
        r = (value >> 11) & 31, g = (value >> 5) & 63, b = value & 31;
        break;
    case 24:
        r = (value >> 16) & 255, g = (value >> 8) & 255, b = value & 255;
        break;
    default: // 32 bits: the outputs are left as they were
        break;
    }
}

void TDIBSurface::LoadFile(const AnsiString& fileName)
{
    int32_t key = -1;
    TLoadResults results;
    LoadFileEx(fileName, key, results, false, false);
}

void TDIBSurface::SaveFile(const AnsiString& fileName) { SaveFileEx(fileName, -1, TPoint {}, false, false, nullptr); }

} // namespace tarn
