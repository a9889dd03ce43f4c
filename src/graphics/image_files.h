// The surface's image files beyond plain bitmaps: TGA (plain and run-length),
// icons and cursors, bitmaps with an alpha channel, and PNG, as bytes in
// memory. TDIBSurface::LoadFileEx and SaveFileEx choose among them by the
// file's extension.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "graphics/graphics_types.h"

namespace tarn {

class TDIBSurface;

// What an extended load found; all 0 or false before it.
struct TLoadResults {
    // The TGA pixels were run-length encoded.
    bool IsRunLength = false;
    // An alpha channel was moved into the mask.
    bool HasAlphaMask = false;
    // The icon image that was read.
    int32_t ChosenIcon = 0;
    // Cursor files only.
    TPoint HotSpot {};
    // What the file itself says, for tools that describe it: its pixel depth
    // (the chosen image's for icons) and, for TGA files, the image type
    // (-1 for other files).
    int32_t FileBits = 0;
    int32_t ImageType = -1;
};

// The images of an icon file that holds several, for the person who picks
// one: each image's width, height and bit count as its own header gives them.
struct TIconImageInfo {
    int32_t Width = 0, Height = 0, BitCount = 0;
};
struct TIconChoice {
    std::vector<TIconImageInfo> Images;
    // Reads image index with its mask (for a preview); raises on a damaged image.
    std::function<void(int32_t index, TDIBSurface& into)> ReadImage;
};
// Returns the index of the image to read. An index outside the list reads image 0.
using TIconChooser = std::function<int32_t(const TIconChoice& choice)>;
// The chooser an icon load with AskIcon consults when the file holds more than
// one image (the window layer connects its dialog here). Without one, image 0
// is read.
void SetIconChooser(TIconChooser chooser);
// The line the choice list shows for image index: "%.3d : %d x %d  %d bpp",
// numbered from 1.
AnsiString IconChoiceLine(int32_t index, const TIconImageInfo& image);

enum class TImageFileKind { Bitmap, Tga, Icon, Cursor, Png };
// By extension, compared without case: .tga, .ico, .cur, .png; anything else
// is a bitmap.
TImageFileKind ImageFileKindOf(const AnsiString& fileName);

// ---- TGA ----
// Image types 1, 2, 3, 9, 10 and 11; any other type leaves the surface empty
// and raises nothing. key becomes the extension area's key colour as a pixel
// value, or -1. Headers, colour maps and pixel data that do not fit in the
// bytes are refused before the surface is touched; run-length data that ends
// early leaves the remaining pixels 0. With keepAlpha a 32-bit picture's
// fourth byte (transparency: mask = 255 - byte) goes into the mask and the
// surface becomes 24 bits.
void DecodeTga(std::string_view bytes, TDIBSurface& surface, int32_t& key, TLoadResults& results, bool keepAlpha);
// Rows top first; palette depths with a colour map of 24-bit entries (depths
// below 8 written as 8 bits), 5-6-5 as 5-5-5; runLength through the run
// planner. A key (pixel value, -1 = none) goes into an extension area unless
// alphaSource (an 8-bit surface of the same size) is given, which makes a
// 32-bit picture whose fourth bytes are 255 - alpha.
std::string EncodeTga(const TDIBSurface& surface, int32_t key, bool runLength, const TDIBSurface* alphaSource);
// The same into out, whose memory is reused (for pictures written one after another).
void EncodeTga(const TDIBSurface& surface, int32_t key, bool runLength, const TDIBSurface* alphaSource, std::string& out);

// ---- icons and cursors ----
// A file that starts with "BM" is read as a bitmap (key -1). Otherwise image
// ChosenIcon is read (askIcon with several images asks the chooser). 32-bit
// images keep their alpha in the mask (24-bit surface). Other depths get a
// mask from the transparency rows (all opaque when the file has none); with
// keepAlpha, at 1 bit, or when key is negative on entry the mask is kept and
// key becomes -1; otherwise key (on entry a colour, 0x00BBGGRR) is given a
// pixel value (an unused palette index set to the colour when there is one)
// which the transparent pixels take, and the mask is freed.
void DecodeIcon(std::string_view bytes, TDIBSurface& surface, int32_t& key, TLoadResults& results, bool keepAlpha, bool askIcon);
// One image. Transparent pixels come from key (a pixel value) or else from
// alphaSource (8 bits, the surface's size; below 128 is transparent); with
// iconAlpha and an alphaSource the image is 32 bits with the alpha in its
// fourth bytes. 16- and 32-bit surfaces are written as 24 bits otherwise.
std::string EncodeIcon(const TDIBSurface& surface, int32_t key, TPoint hotSpot, bool iconAlpha, const TDIBSurface* alphaSource, bool cursor);

// ---- bitmaps with alpha ----
// A bitmap; with keepAlpha a 32-bit picture's fourth bytes become the mask as
// they are and the surface becomes 24 bits.
void DecodeBitmapAlpha(std::string_view bytes, TDIBSurface& surface, TLoadResults& results, bool keepAlpha);
// A 32-bit bitmap (plain, not bit fields) whose fourth bytes are alphaSource's bytes.
std::string EncodeBitmapAlpha(const TDIBSurface& surface, const TDIBSurface& alphaSource);

// Every kind through one door: what LoadFileEx and SaveFileEx do on bytes.
void DecodeImageFile(TImageFileKind kind, std::string_view bytes, TDIBSurface& surface, int32_t& key, TLoadResults& results, bool keepAlpha,
                     bool askIcon);
std::string EncodeImageFile(TImageFileKind kind, const TDIBSurface& surface, int32_t key, TPoint hotSpot, bool iconAlpha, bool runLength,
                            const TDIBSurface* alphaSource);

// ---- helpers the file formats share ----
// Most pixels a loaded picture may have.
constexpr int64_t MaxImagePixels = int64_t(1) << 28;
// Moves a 32-bit surface's fourth bytes into its mask (255 - byte when
// invert) and makes the surface 24 bits, keeping the colours.
void MoveFourthByteToMask(TDIBSurface& surface, bool invert);
// The chooser's answer for a file of several images (0 without a chooser).
int32_t AskIconChoice(const TIconChoice& choice);
// Raises unless alphaSource is an 8-bit surface of surface's size.
void CheckAlphaSource(const TDIBSurface& surface, const TDIBSurface& alphaSource);

} // namespace tarn
