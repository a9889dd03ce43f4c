// The surface's extended loading and saving: the file kind by extension, then
// the TGA, icon, bitmap or PNG code on the file's bytes.
#include <cstring>

#include "base/path.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"
#include "graphics/image_files.h"
#include "graphics/image_messages.h"
#include "graphics/png_file.h"
#include "platform/file_stream.h"

namespace tarn {

namespace {

TIconChooser& Chooser()
{
    static TIconChooser chooser;
    return chooser;
}

} // namespace

void SetIconChooser(TIconChooser chooser) { Chooser() = std::move(chooser); }

int32_t AskIconChoice(const TIconChoice& choice)
{
    const TIconChooser& chooser = Chooser();
    if (!chooser)
        return 0;
    int32_t index = chooser(choice);
    return index >= 0 && index < static_cast<int32_t>(choice.Images.size()) ? index : 0;
}

AnsiString IconChoiceLine(int32_t index, const TIconImageInfo& image)
{
    return Format(std::string_view("%.3d : %d x %d  %d bpp"), { index + 1, image.Width, image.Height, image.BitCount });
}

TImageFileKind ImageFileKindOf(const AnsiString& fileName)
{
    AnsiString ext = ExtractFileExt(fileName);
    if (SameText(ext, ".tga"))
        return TImageFileKind::Tga;
    if (SameText(ext, ".ico"))
        return TImageFileKind::Icon;
    if (SameText(ext, ".cur"))
        return TImageFileKind::Cursor;
    if (SameText(ext, ".png"))
        return TImageFileKind::Png;
    return TImageFileKind::Bitmap;
}

void CheckAlphaSource(const TDIBSurface& surface, const TDIBSurface& alphaSource)
{
    if (alphaSource.BitDepth() != 8 || alphaSource.Width() != surface.Width() || alphaSource.Height() != surface.Height())
        throw EGraphicError(msg::AlphaSourceMismatch, {});
}

void MoveFourthByteToMask(TDIBSurface& surface, bool invert)
{
    surface.NeedMask();
    TDIBSurface rgb;
    rgb.ResizeForOverwrite(surface.Width(), surface.Height(), 24);
    TDIBSurface& mask = *surface.Mask();
    for (int32_t y = 0; y < surface.Height(); ++y) {
        const uint8_t* from = surface.RowAddress(y);
        uint8_t* to = rgb.RowAddress(y);
        uint8_t* m = mask.RowAddress(y);
        for (int32_t x = 0; x < surface.Width(); ++x, from += 4, to += 3) {
            to[0] = from[0], to[1] = from[1], to[2] = from[2];
            m[x] = invert ? static_cast<uint8_t>(255 - from[3]) : from[3];
        }
        // Row padding is part of the bitmap's bytes: keep it defined.
        std::memset(to, 0, static_cast<size_t>(rgb.Stride()) - 3 * static_cast<size_t>(surface.Width()));
    }
    // Resize keeps the mask, which already has the surface's size.
    surface.Resize(surface.Width(), surface.Height(), 24);
    surface.SwapPixels(rgb);
}

namespace {

int32_t BitmapFileBits(std::string_view bytes)
{
    auto u16 = [&](size_t at) { return static_cast<int32_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8); };
    if (bytes.size() < 30)
        return 0;
    return u16(14) == 12 && u16(16) == 0 ? u16(24) : u16(28); // the old 12-byte header or the others
}

// Bit depth times channels from the header chunk.
int32_t PngFileBits(std::string_view bytes)
{
    if (bytes.size() < 26)
        return 0;
    int32_t depth = static_cast<uint8_t>(bytes[24]);
    switch (static_cast<uint8_t>(bytes[25])) {
    case 0: case 3: return depth;
    case 2: return 3 * depth;
    case 4: return 2 * depth;
    case 6: return 4 * depth;
    default: return 0;
    }
}

} // namespace

void DecodeBitmapAlpha(std::string_view bytes, TDIBSurface& surface, TLoadResults& results, bool keepAlpha)
{
    DecodeBitmap(bytes, surface);
    results.FileBits = BitmapFileBits(bytes);
    if (keepAlpha && surface.EffectiveDepth() == 32) {
        MoveFourthByteToMask(surface, false);
        results.HasAlphaMask = true;
    }
}

std::string EncodeBitmapAlpha(const TDIBSurface& surface, const TDIBSurface& alphaSource)
{
    CheckAlphaSource(surface, alphaSource);
    TDIBSurface work;
    work.Resize(surface.Width(), surface.Height(), 32);
    work.Canvas().Draw(0, 0, surface);
    for (int32_t y = 0; y < work.Height(); ++y) {
        uint8_t* row = work.RowAddress(y);
        const uint8_t* alpha = alphaSource.RowAddress(y);
        for (int32_t x = 0; x < work.Width(); ++x)
            row[4 * x + 3] = alpha[x];
    }
    return EncodeBitmap(work, false);
}

void DecodeImageFile(TImageFileKind kind, std::string_view bytes, TDIBSurface& surface, int32_t& key, TLoadResults& results, bool keepAlpha,
                     bool askIcon)
{
    results = TLoadResults {};
    switch (kind) {
    case TImageFileKind::Tga:
        DecodeTga(bytes, surface, key, results, keepAlpha);
        break;
    case TImageFileKind::Icon:
    case TImageFileKind::Cursor:
        DecodeIcon(bytes, surface, key, results, keepAlpha, askIcon);
        break;
    case TImageFileKind::Png:
        DecodePng(bytes, surface);
        results.FileBits = PngFileBits(bytes);
        key = -1;
        break;
    case TImageFileKind::Bitmap:
        DecodeBitmapAlpha(bytes, surface, results, keepAlpha);
        key = -1;
        break;
    }
}

std::string EncodeImageFile(TImageFileKind kind, const TDIBSurface& surface, int32_t key, TPoint hotSpot, bool iconAlpha, bool runLength,
                            const TDIBSurface* alphaSource)
{
    switch (kind) {
    case TImageFileKind::Tga:
        return EncodeTga(surface, key, runLength, alphaSource);
    case TImageFileKind::Icon:
    case TImageFileKind::Cursor:
        return EncodeIcon(surface, key, hotSpot, iconAlpha, alphaSource, kind == TImageFileKind::Cursor);
    case TImageFileKind::Png: {
        if (!alphaSource)
            return EncodePng(surface);
        CheckAlphaSource(surface, *alphaSource);
        TDIBSurface work;
        work.AssignSurface(surface);
        work.CopyMaskFrom(*alphaSource);
        return EncodePng(work);
    }
    case TImageFileKind::Bitmap:
        break;
    }
    return alphaSource ? EncodeBitmapAlpha(surface, *alphaSource) : EncodeBitmap(surface);
}

void TDIBSurface::LoadFileEx(const AnsiString& fileName, int32_t& key, TLoadResults& results, bool keepAlpha, bool askIcon)
{
    std::vector<uint8_t> bytes = ReadWholeFile(fileName);
    DecodeImageFile(ImageFileKindOf(fileName), std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), *this, key,
                    results, keepAlpha, askIcon);
}

void TDIBSurface::SaveFileEx(const AnsiString& fileName, int32_t key, TPoint hotSpot, bool iconAlpha, bool runLength,
                             const TDIBSurface* alphaSource)
{
    // Everything is encoded before the file is created, so a refused save
    // leaves an existing file alone.
    std::string bytes = EncodeImageFile(ImageFileKindOf(fileName), *this, key, hotSpot, iconAlpha, runLength, alphaSource);
    TFileStream out(fileName, fmCreate);
    out.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

} // namespace tarn
