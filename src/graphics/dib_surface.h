// TDIBSurface: the program's bitmap. A device-independent bitmap whose pixel
// memory is read and written directly (bottom-up rows, the bitmap-file stride),
// with an optional 8-bit mask, raw-pixel block transfers between surfaces of
// one format, fills, mirroring, colour packing, a canvas, and image files.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "base/text.h"
#include "graphics/graphics_types.h"

namespace tarn {

class TDIBSurface;
struct TLoadResults;

// Drawing with colours onto a surface, as a window canvas does: solid fills and
// reading pixels back as colours. Colours map to pixel values by the surface's
// depth: at 8 bits or fewer the nearest palette entry (squared RGB distance,
// lowest index on ties), at 15/16 bits each channel truncated, at 24 and 32
// bits the bytes themselves (a fourth byte 0).
class TCanvas {
public:
    explicit TCanvas(TDIBSurface& surface) : surface_(surface) { }

    struct TBrush {
        TColor Color = clWhite;
    } Brush;

    // Fills r (cut to the surface) with the brush colour.
    void FillRect(const TRect& r);
    TColor Pixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, TColor color);

    // The pixel value a colour is drawn as, and the colour a pixel value shows.
    uint32_t ValueOfColor(TColor color) const;
    TColor ColorOfValue(uint32_t value) const;
    // The colour the surface can show that a colour is drawn as.
    TColor NearestColor(TColor color) const { return ColorOfValue(ValueOfColor(color)); }

    // Draws a surface of any format at its own size at (x, y), converting
    // through colours; StretchDraw scales it into dest by dropping or
    // repeating pixels.
    void Draw(int32_t x, int32_t y, const TDIBSurface& source);
    void StretchDraw(const TRect& dest, const TDIBSurface& source);

private:
    TDIBSurface& surface_;
};

class TDIBSurface {
public:
    TDIBSurface();
    virtual ~TDIBSurface();
    TDIBSurface(const TDIBSurface&) = delete;
    TDIBSurface& operator=(const TDIBSurface&) = delete;

    // ---- the bitmap base ----
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }
    // 1, 4, 8, 16, 24 or 32 (0 before the first sizing).
    int32_t BitDepth() const { return bitDepth_; }
    uint32_t RedMask() const { return redMask_; }
    uint32_t GreenMask() const { return greenMask_; }
    uint32_t BlueMask() const { return blueMask_; }
    // ((Width x BitDepth + 31) div 32) x 4.
    int32_t Stride() const { return stride_; }
    static int64_t StrideFor(int64_t width, int32_t bitDepth) { return (width * bitDepth + 31) / 32 * 4; }

    // Rows are stored bottom-up: TopRow is the start of the last stored row and
    // RowStep is -Stride. RowAddress(y) raises the scan-line error outside
    // 0 .. Height - 1.
    uint8_t* TopRow() { return Empty() ? nullptr : bits_ + static_cast<size_t>(height_ - 1) * static_cast<size_t>(stride_); }
    const uint8_t* TopRow() const { return const_cast<TDIBSurface*>(this)->TopRow(); }
    int32_t RowStep() const { return -stride_; }
    uint8_t* RowAddress(int32_t y);
    const uint8_t* RowAddress(int32_t y) const { return const_cast<TDIBSurface*>(this)->RowAddress(y); }
    // The whole pixel block, bottom row first (Height x Stride bytes).
    uint8_t* Bits() { return bits_; }
    const uint8_t* Bits() const { return bits_; }
    size_t ImageSize() const { return static_cast<size_t>(stride_) * static_cast<size_t>(height_ > 0 ? height_ : 0); }

    uint32_t Pixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, uint32_t value);

    // The colours of the pixel values at 8 bits or fewer. ApplyColorTable makes
    // the picture take the table (the palette that drawing uses).
    std::array<TRGBQuad, 256> ColorTable {};
    void ApplyColorTable();
    const std::array<TRGBQuad, 256>& Palette() const { return palette_; }

    TCanvas& Canvas() { return canvas_; }

    // Changes the bit depth keeping the picture (channels carried over, 5- and
    // 6-bit channels widened by bit replication, a fourth byte dropped). An
    // empty surface is only sized, to at least 1 x 1; a depth of 0 or less
    // empties it. Towards 8 bits or fewer it keeps the colour table and takes
    // the nearest entry for each pixel.
    void SetDepth(int32_t bitDepth);

    // ---- the surface ----
    // 15 for 16-bit 5-5-5, else BitDepth.
    int32_t EffectiveDepth() const { return bitDepth_ == 16 && greenMask_ == 0x03E0 ? 15 : bitDepth_; }
    TRect FullRect() const { return Rect(0, 0, width_, height_); }

    // BitDepth 15 selects 16-bit 5-5-5, 16 selects 5-6-5, others 8-8-8. The
    // pixels stay when nothing changes; a rebuilt block starts out zero. A
    // width or height of 0 or less empties the surface. The mask follows the
    // new size. Raises the bit-count error (pixels kept) for other depths.
    virtual void Resize(int32_t width, int32_t height, int32_t bitDepth);
    // Resize for a caller that writes every byte of every row before reading:
    // a rebuilt block is left as the allocator gives it.
    void ResizeForOverwrite(int32_t width, int32_t height, int32_t bitDepth);
    // Exchanges the pixel blocks of two surfaces of one size and format.
    void SwapPixels(TDIBSurface& other);

    // Destination clip of the block transfers when non-empty.
    TRect ClipBounds {};

    TDIBSurface* Mask() { return mask_.get(); }
    const TDIBSurface* Mask() const { return mask_.get(); }
    bool HasMask() const { return mask_ != nullptr; }
    // Creates the mask (8 bits, the surface's size) unless one of that size exists.
    void NeedMask();
    void FreeMask();
    // NeedMask, then the mask's rows from the rows of an 8-bit source at least as large.
    void CopyMaskFrom(const TDIBSurface& source);
    // Becomes a copy of source: size, format, colour table, pixels and mask.
    void AssignSurface(const TDIBSurface& source);

    // Block transfers between surfaces of one bit count and pixel format,
    // clipped to ClipBounds (or the surface); values are copied or blended raw.
    void Blit(int32_t x, int32_t y, const TDIBSurface& source);
    void BlitRect(int32_t x, int32_t y, const TRect& srcRect, const TDIBSurface& source);
    void BlitKeyed(int32_t x, int32_t y, const TRect& srcRect, int32_t key, const TDIBSurface& source);
    void BlitTranslucent(int32_t x, int32_t y, const TRect& srcRect, int32_t opacity, int32_t key, const TDIBSurface& source);
    // Per-pixel opacity from the source's mask.
    void BlitAlpha(int32_t x, int32_t y, const TRect& srcRect, const TDIBSurface& source);

    // Sets every pixel of rect (cut to the surface, not to ClipBounds) to value.
    void FillValue(const TRect& rect, uint32_t value);
    void MirrorHorizontal();
    void FlipVertical();

    // Pixel value of a colour and colour of a pixel value, by effective depth.
    // At 15/16 bits the components are already 5 or 6 bits wide. At 32 bits
    // UnpackColor leaves its outputs as they are.
    uint32_t PackColor(uint8_t r, uint8_t g, uint8_t b) const;
    void UnpackColor(uint32_t value, uint8_t& r, uint8_t& g, uint8_t& b) const;
    // Index of the nearest palette entry (squared RGB distance, lowest index on ties).
    uint32_t NearestIndex(uint8_t r, uint8_t g, uint8_t b) const;

    // By extension (compared without case): .tga, .ico and .cur (.cur saves
    // a cursor) and .png; every other extension is a device-independent
    // bitmap file. Image files are in graphics/image_files.h.
    virtual void LoadFile(const AnsiString& fileName);
    virtual void SaveFile(const AnsiString& fileName);
    // key: out for TGA files (a pixel value or -1); for icons also in (the
    // colour transparent pixels take). askIcon lets the icon chooser pick
    // one of several images.
    void LoadFileEx(const AnsiString& fileName, int32_t& key, TLoadResults& results, bool keepAlpha = false, bool askIcon = false);
    // key: a pixel value treated as transparent (-1 = none); hotSpot for
    // cursors; iconAlpha: a 32-bit icon with alpha; runLength: TGA run-length
    // encoding; alphaSource: an 8-bit surface of this size, per-pixel opacity.
    void SaveFileEx(const AnsiString& fileName, int32_t key, TPoint hotSpot, bool iconAlpha, bool runLength, const TDIBSurface* alphaSource);

    // Converts the pixels to another depth (1, 4, 8, 15, 16, 24 or 32). Up to 8
    // bits the colours are reduced: mode 0 chooses a palette for the picture
    // (median cut), mode 1 takes a fixed one; option 1 dithers (Floyd-Steinberg),
    // option 0 takes the nearest colour. Above 8 bits channels are packed
    // exactly (a 32-bit fourth byte becomes 0xFF). The mask stays.
    void ConvertDepth(int32_t bitDepth, int32_t mode, int32_t option);
    // A palette index no pixel uses (1 bit: the other value when every pixel
    // has the same one), or -1; -1 above 8 bits.
    int32_t FindUnusedIndex() const;

private:
    struct FreeDeleter {
        void operator()(uint8_t* p) const;
    };
    void Rebuild(int32_t width, int32_t height, int32_t bitDepth, bool clear);

    int32_t width_ = 0, height_ = 0, bitDepth_ = 0, stride_ = 0;
    uint32_t redMask_ = 0xFF0000, greenMask_ = 0x00FF00, blueMask_ = 0x0000FF;
    std::unique_ptr<uint8_t, FreeDeleter> storage_;
    uint8_t* bits_ = nullptr;
    std::array<TRGBQuad, 256> palette_ {};
    std::unique_ptr<TDIBSurface> mask_;
    TCanvas canvas_ { *this };
};

// Whether the block transfers use their SIMD paths (tests compare both).
void SetSurfaceSimd(bool enabled);
bool SurfaceSimd();

} // namespace tarn
