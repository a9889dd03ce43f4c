// Icon and cursor files: a directory of images, each a bitmap of twice its
// height (the colour rows, then 1-bit transparency rows) without the bitmap
// file header. An image is read by rebuilding it as a bitmap file in memory
// for the bitmap reader.
#include <cstring>

#include "base/byte_reader.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"
#include "graphics/image_files.h"
#include "graphics/image_messages.h"

namespace tarn {

namespace {

constexpr uint32_t BiRgb = 0, BiBitFields = 3;
constexpr size_t DirectoryHeaderSize = 6, EntrySize = 16, InfoSize = 40;

struct IconEntry {
    uint16_t word1 = 0, word2 = 0; // planes and bit count, or a cursor's hot spot
    uint32_t size = 0, offset = 0;
};

struct ImageHeader {
    bool png = false;
    uint32_t infoSize = 0, compression = 0, clrUsed = 0;
    int32_t width = 0, height = 0;
    uint16_t bitCount = 0;
};

// Where image i's parts lie, checked against its entry before anything is read.
struct ImageLayout {
    size_t masks = 0, table = 0, pixels = 0, transparency = 0;
    size_t tableBytes = 0, pixelBytes = 0;
    int32_t width = 0, height = 0; // height: the colour rows only
    size_t stride = 0, transparencyStride = 0;
    bool hasTransparency = false;
};

struct IconFile {
    std::string_view bytes;
    uint16_t type = 0;
    std::vector<IconEntry> entries;
    std::vector<ImageHeader> headers;
};

[[noreturn]] void BadImage(int32_t index, const char* what) { throw EGraphicError(msg::IconBadImage, { index, what }); }

IconFile ReadDirectory(std::string_view bytes)
{
    IconFile f;
    f.bytes = bytes;
    ByteReader in(bytes);
    if (bytes.size() < DirectoryHeaderSize)
        throw EGraphicError(msg::IconTruncated, {});
    uint16_t reserved = in.U16();
    f.type = in.U16();
    uint16_t count = in.U16();
    if (reserved != 0 || (f.type != 1 && f.type != 2))
        throw EGraphicError(msg::IconNotIcon, {});
    if (count == 0)
        throw EGraphicError(msg::IconNoImage, {});
    if (size_t(count) * EntrySize > in.Remaining())
        throw EGraphicError(msg::IconTruncated, {});
    for (int32_t i = 0; i < count; ++i) {
        IconEntry e;
        in.Skip(4); // width, height, colour count, reserved: the image's own header says better
        e.word1 = in.U16();
        e.word2 = in.U16();
        e.size = in.U32();
        e.offset = in.U32();
        if (e.offset > bytes.size() || e.size > bytes.size() - e.offset)
            throw EGraphicError(msg::IconEntryOutside, { i });
        ImageHeader h;
        ByteReader image(bytes.substr(e.offset, e.size));
        if (e.size >= 8 && std::memcmp(bytes.data() + e.offset, "\x89PNG\r\n\x1a\n", 8) == 0) {
            h.png = true;
        } else {
            if (e.size < InfoSize)
                throw EGraphicError(msg::IconEntryOutside, { i });
            h.infoSize = image.U32();
            h.width = image.I32();
            h.height = image.I32();
            image.Skip(2);
            h.bitCount = image.U16();
            h.compression = image.U32();
            image.Skip(12);
            h.clrUsed = image.U32();
        }
        f.entries.push_back(e);
        f.headers.push_back(h);
    }
    return f;
}

ImageLayout LayoutOf(const IconFile& f, int32_t index)
{
    const IconEntry& e = f.entries[static_cast<size_t>(index)];
    const ImageHeader& h = f.headers[static_cast<size_t>(index)];
    if (h.png)
        throw EGraphicError(msg::IconPngImage, { index });
    if (h.infoSize < InfoSize || h.infoSize > e.size)
        BadImage(index, "header size");
    ImageLayout l;
    l.width = h.width;
    l.height = h.height / 2;
    if (h.width <= 0 || l.height <= 0 || int64_t(h.width) * l.height > MaxImagePixels)
        BadImage(index, "size");
    int32_t bits = h.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        throw EGraphicError(msg::BadBitCount, { bits });
    if (h.compression != BiRgb && !(h.compression == BiBitFields && (bits == 16 || bits == 32)))
        BadImage(index, "compression");
    if (h.compression == BiBitFields && h.infoSize > InfoSize && h.infoSize < InfoSize + 12)
        BadImage(index, "header size"); // the masks would reach into what follows the header
    // The three colour masks follow the 40-byte part of the header; only a
    // plain 40-byte header has them outside itself.
    l.masks = e.offset + InfoSize;
    l.table = e.offset + h.infoSize + (h.compression == BiBitFields && h.infoSize == InfoSize ? 12 : 0);
    uint64_t colors = h.clrUsed ? h.clrUsed : bits <= 8 ? 1u << bits : 0;
    if (bits <= 8 && colors > 256)
        BadImage(index, "colours");
    size_t end = size_t(e.offset) + e.size;
    if (l.table > end || colors * 4 > end - l.table)
        throw EGraphicError(msg::IconTruncated, {});
    l.tableBytes = static_cast<size_t>(colors * 4);
    l.pixels = l.table + l.tableBytes;
    l.stride = static_cast<size_t>(TDIBSurface::StrideFor(l.width, bits));
    if (uint64_t(l.stride) * static_cast<uint64_t>(l.height) > end - l.pixels)
        throw EGraphicError(msg::IconTruncated, {});
    l.pixelBytes = l.stride * static_cast<size_t>(l.height);
    l.transparency = l.pixels + l.pixelBytes;
    l.transparencyStride = static_cast<size_t>((l.width + 31) / 32 * 4);
    // Many writers leave the transparency rows out: then every pixel is opaque.
    l.hasTransparency = uint64_t(l.transparencyStride) * static_cast<uint64_t>(l.height) <= end - l.transparency;
    return l;
}

// The image as a bitmap file of its colour rows, read by the bitmap reader.
void ReadColorRows(const IconFile& f, int32_t index, const ImageLayout& l, TDIBSurface& surface)
{
    const ImageHeader& h = f.headers[static_cast<size_t>(index)];
    bool fields = h.compression == BiBitFields;
    uint32_t offBits = static_cast<uint32_t>(14 + InfoSize + (fields ? 12 : 0) + l.tableBytes);
    ByteWriter out;
    out.U8('B'), out.U8('M');
    out.U32(offBits + static_cast<uint32_t>(l.pixelBytes));
    out.U32(0);
    out.U32(offBits);
    out.U32(InfoSize);
    out.I32(l.width);
    out.I32(l.height);
    out.U16(1);
    out.U16(h.bitCount);
    out.U32(h.compression);
    out.U32(static_cast<uint32_t>(l.pixelBytes));
    out.U32(0), out.U32(0);
    out.U32(h.clrUsed);
    out.U32(0);
    if (fields)
        out.Bytes(f.bytes.substr(l.masks, 12));
    out.Bytes(f.bytes.substr(l.table, l.tableBytes));
    out.Bytes(f.bytes.substr(l.pixels, l.pixelBytes));
    DecodeBitmap(out.Data(), surface);
}

// Whether pixel (x, y) is marked transparent; the rows are stored bottom first.
bool TransparentAt(const IconFile& f, const ImageLayout& l, int32_t x, int32_t y)
{
    if (!l.hasTransparency)
        return false;
    size_t row = l.transparency + static_cast<size_t>(l.height - 1 - y) * l.transparencyStride;
    return (static_cast<uint8_t>(f.bytes[row + static_cast<size_t>(x >> 3)]) >> (7 - (x & 7)) & 1) != 0;
}

// Reads image index into surface with its mask: alpha at 32 bits, else the
// transparency rows (0 transparent, 255 opaque).
void ReadImageWithMask(const IconFile& f, int32_t index, TDIBSurface& surface, TLoadResults& results)
{
    ImageLayout l = LayoutOf(f, index);
    const IconEntry& e = f.entries[static_cast<size_t>(index)];
    ReadColorRows(f, index, l, surface);
    results.ChosenIcon = index;
    results.FileBits = f.headers[static_cast<size_t>(index)].bitCount;
    if (f.type == 2)
        results.HotSpot = TPoint { e.word1, e.word2 };
    if (surface.EffectiveDepth() == 32) {
        MoveFourthByteToMask(surface, false);
        results.HasAlphaMask = true;
    } else {
        surface.NeedMask();
    }
    TDIBSurface& mask = *surface.Mask();
    for (int32_t y = 0; y < l.height; ++y) {
        uint8_t* m = mask.RowAddress(y);
        for (int32_t x = 0; x < l.width; ++x) {
            if (TransparentAt(f, l, x, y))
                m[x] = 0;
            else if (!results.HasAlphaMask)
                m[x] = 255;
        }
    }
}

} // namespace

void DecodeIcon(std::string_view bytes, TDIBSurface& surface, int32_t& key, TLoadResults& results, bool keepAlpha, bool askIcon)
{
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        DecodeBitmapAlpha(bytes, surface, results, keepAlpha);
        key = -1;
        return;
    }
    IconFile f = ReadDirectory(bytes);
    int32_t index = 0;
    if (askIcon && f.entries.size() > 1) {
        TIconChoice choice;
        for (const ImageHeader& h : f.headers)
            choice.Images.push_back(TIconImageInfo { h.width, h.height / 2, h.bitCount });
        choice.ReadImage = [&f](int32_t i, TDIBSurface& into) {
            TLoadResults ignored;
            ReadImageWithMask(f, i, into, ignored);
        };
        index = AskIconChoice(choice);
    }
    TLoadResults r;
    ReadImageWithMask(f, index, surface, r);
    results.ChosenIcon = r.ChosenIcon;
    results.HotSpot = r.HotSpot;
    results.FileBits = r.FileBits;
    results.HasAlphaMask = r.HasAlphaMask;
    // A negative key asks for no colour: the mask is kept as with keepAlpha.
    if (r.HasAlphaMask || keepAlpha || r.FileBits == 1 || key < 0) {
        key = -1;
        return;
    }
    auto color = static_cast<TColor>(key);
    uint8_t red = GetRValue(color), green = GetGValue(color), blue = GetBValue(color);
    int32_t unused = surface.FindUnusedIndex();
    if (unused >= 0) {
        surface.ColorTable[static_cast<size_t>(unused)] = TRGBQuad { blue, green, red, 0 };
        surface.ApplyColorTable();
        key = unused;
    } else {
        key = static_cast<int32_t>(surface.PackColor(red, green, blue));
    }
    const TDIBSurface& mask = *surface.Mask();
    for (int32_t y = 0; y < surface.Height(); ++y) {
        const uint8_t* m = mask.RowAddress(y);
        for (int32_t x = 0; x < surface.Width(); ++x)
            if (m[x] == 0)
                surface.SetPixel(x, y, static_cast<uint32_t>(key));
    }
    surface.FreeMask();
}

std::string EncodeIcon(const TDIBSurface& surface, int32_t key, TPoint hotSpot, bool iconAlpha, const TDIBSurface* alphaSource, bool cursor)
{
    const int32_t w = surface.Width(), h = surface.Height();
    if (surface.Empty())
        throw EGraphicError(msg::EmptyImage, {});
    if (w > 256 || h > 256)
        throw EGraphicError(msg::IconTooLarge, { w, h });
    const int32_t depth = surface.EffectiveDepth();
    TDIBSurface work;
    work.AssignSurface(surface);
    work.FreeMask();
    if (depth == 15 || depth == 16 || depth == 32)
        work.SetDepth(24);
    // The transparency source: 0 transparent, 255 opaque.
    TDIBSurface opacity;
    opacity.Resize(w, h, 8);
    opacity.FillValue(opacity.FullRect(), 255);
    bool alphaBytes = false;
    if (key >= 0) {
        auto k = static_cast<uint32_t>(key);
        if (depth > 8) {
            // At 32 bits the fourth byte is not part of the colour.
            uint32_t cmp = depth == 32 ? 0xFFFFFF : 0xFFFFFFFF;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    if (((surface.Pixel(x, y) ^ k) & cmp) == 0)
                        work.SetPixel(x, y, 0), opacity.SetPixel(x, y, 0);
        } else {
            if (k < 256) {
                work.ColorTable[k] = TRGBQuad {};
                work.ApplyColorTable();
            }
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    if (surface.Pixel(x, y) == k)
                        opacity.SetPixel(x, y, 0);
        }
    } else if (alphaSource) {
        CheckAlphaSource(surface, *alphaSource);
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(opacity.RowAddress(y), alphaSource->RowAddress(y), static_cast<size_t>(w));
        if (iconAlpha) {
            work.SetDepth(32);
            for (int32_t y = 0; y < h; ++y) {
                uint8_t* row = work.RowAddress(y);
                const uint8_t* a = opacity.RowAddress(y);
                for (int32_t x = 0; x < w; ++x) {
                    if (a[x] == 0)
                        std::memset(row + 4 * x, 0, 3);
                    row[4 * x + 3] = a[x];
                }
            }
            alphaBytes = true;
        } else {
            uint32_t clear = 0;
            if (work.BitDepth() <= 8) {
                int32_t unused = work.FindUnusedIndex();
                if (unused >= 0) {
                    work.ColorTable[static_cast<size_t>(unused)] = TRGBQuad {};
                    work.ApplyColorTable();
                    clear = static_cast<uint32_t>(unused);
                } else {
                    clear = work.NearestIndex(0, 0, 0);
                }
            }
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    if (opacity.Pixel(x, y) < 128)
                        work.SetPixel(x, y, clear);
        }
    }
    const int32_t bits = work.BitDepth();
    const size_t transparencyStride = static_cast<size_t>((w + 31) / 32 * 4);
    std::string bitmap = EncodeBitmap(work, false);
    ByteWriter info;
    info.I32(2 * h);
    info.U32(static_cast<uint32_t>(size_t(h) * static_cast<size_t>(work.Stride()) + size_t(h) * transparencyStride));
    std::memcpy(bitmap.data() + 14 + 8, info.Data().data(), 4);
    std::memcpy(bitmap.data() + 14 + 20, info.Data().data() + 4, 4);

    ByteWriter out;
    out.U16(0);
    out.U16(cursor ? 2 : 1);
    out.U16(1);
    out.U8(static_cast<uint8_t>(w)); // 256 is written as 0
    out.U8(static_cast<uint8_t>(h));
    out.U8(bits < 8 ? static_cast<uint8_t>(1 << bits) : 0);
    out.U8(0);
    if (cursor) {
        out.U16(static_cast<uint16_t>(hotSpot.X));
        out.U16(static_cast<uint16_t>(hotSpot.Y));
    } else {
        out.U16(0);
        out.U16(static_cast<uint16_t>(bits));
    }
    out.U32(static_cast<uint32_t>(bitmap.size() - 14 + size_t(h) * transparencyStride));
    out.U32(static_cast<uint32_t>(DirectoryHeaderSize + EntrySize));
    out.Bytes(std::string_view(bitmap).substr(14));
    std::vector<uint8_t> row(transparencyStride);
    for (int32_t y = h - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), uint8_t(0));
        const uint8_t* a = opacity.RowAddress(y);
        const uint8_t* pixels = work.RowAddress(y);
        for (int32_t x = 0; x < w; ++x) {
            bool transparent = alphaBytes ? pixels[4 * x + 3] == 0 : a[x] < 128;
            if (transparent)
                row[static_cast<size_t>(x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        out.Bytes(row.data(), row.size());
    }
    return out.Data();
}

} // namespace tarn
