#include "graphics/bmp_file.h"

#include <cstring>

#include "base/byte_reader.h"
#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"
#include "platform/file_stream.h"

namespace tarn {

namespace {

constexpr uint32_t BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitFields = 3, BiJpeg = 4, BiPng = 5, BiAlphaBitFields = 6;

[[noreturn]] void BadHeader(const char* what) { throw EGraphicError(msg::BmpBadHeader, { what }); }

// What the headers say, checked against the data before the surface is touched.
struct BitmapLayout {
    int32_t width = 0, height = 0; // height > 0: bottom-up
    int32_t bitCount = 0;
    int32_t surfaceDepth = 0; // 15 for 5-5-5
    bool topDown = false;
    std::array<TRGBQuad, 256> colors {};
    size_t pixelOffset = 0;
    int64_t stride = 0;
};

BitmapLayout ReadLayout(std::string_view bytes)
{
    ByteReader in(bytes);
    BitmapLayout l;
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        throw EGraphicError(msg::BmpNotBitmap, {});
    try {
        in.Skip(10);
        uint32_t offBits = in.U32();
        uint32_t infoSize = in.U32();
        uint32_t compression = BiRgb, clrUsed = 0;
        uint32_t masks[3] = { 0, 0, 0 };
        bool core = infoSize == 12;
        int64_t height = 0;
        if (core) {
            l.width = in.U16();
            height = in.U16();
            in.Skip(2);
            l.bitCount = in.U16();
        } else if (infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124) {
            l.width = in.I32();
            height = in.I32();
            in.Skip(2);
            l.bitCount = in.U16();
            compression = in.U32();
            in.Skip(12);
            clrUsed = in.U32();
            in.Skip(4);
            if (infoSize >= 52)
                masks[0] = in.U32(), masks[1] = in.U32(), masks[2] = in.U32();
            in.Seek(14 + infoSize);
            if (infoSize == 40 && (compression == BiBitFields || compression == BiAlphaBitFields)) {
                masks[0] = in.U32(), masks[1] = in.U32(), masks[2] = in.U32();
                if (compression == BiAlphaBitFields)
                    in.Skip(4);
            }
        } else {
            BadHeader("size");
        }
        if (compression == BiRle8 || compression == BiRle4 || compression == BiJpeg || compression == BiPng ||
            (compression != BiRgb && compression != BiBitFields && compression != BiAlphaBitFields))
            throw EGraphicError(msg::BmpCompressed, { static_cast<int>(compression) });
        int32_t bits = l.bitCount;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            throw EGraphicError(msg::BadBitCount, { bits });
        if (l.width < 0)
            BadHeader("width");
        l.topDown = height < 0;
        if (height < 0)
            height = -height;
        if (height > INT32_MAX)
            BadHeader("height");
        l.height = static_cast<int32_t>(height);
        l.surfaceDepth = bits == 16 ? 15 : bits;
        if (compression != BiRgb) {
            if (bits == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)
                l.surfaceDepth = 15;
            else if (bits == 16 && masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F)
                l.surfaceDepth = 16;
            else if ((bits == 24 || bits == 32) && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF)
                l.surfaceDepth = bits;
            else
                throw EGraphicError(msg::BadPixelFormat, {});
        }
        if (bits <= 8) {
            uint32_t count = clrUsed ? clrUsed : 1u << bits;
            if (count > 256)
                BadHeader("colours");
            for (uint32_t i = 0; i < count; ++i) {
                TRGBQuad& q = l.colors[i];
                q.rgbBlue = in.U8(), q.rgbGreen = in.U8(), q.rgbRed = in.U8();
                if (!core)
                    in.Skip(1);
            }
        }
        l.pixelOffset = in.Position();
        // The file header's offset wins when it points past the headers and table.
        if (offBits >= 14 + infoSize && offBits <= bytes.size())
            l.pixelOffset = offBits;
    } catch (const EReadError&) {
        throw EGraphicError(msg::BmpTruncated, {});
    }
    l.stride = TDIBSurface::StrideFor(l.width, l.bitCount);
    if (l.pixelOffset > bytes.size() || static_cast<uint64_t>(l.stride) * static_cast<uint64_t>(l.height) > bytes.size() - l.pixelOffset)
        throw EGraphicError(msg::BmpTruncated, {});
    return l;
}

} // namespace

void DecodeBitmap(std::string_view bytes, TDIBSurface& surface)
{
    BitmapLayout l = ReadLayout(bytes);
    surface.FreeMask();
    surface.Resize(l.width, l.height, l.surfaceDepth);
    surface.ColorTable = l.colors;
    surface.ApplyColorTable();
    size_t stride = static_cast<size_t>(l.stride);
    for (int32_t k = 0; k < surface.Height(); ++k) {
        // Stored row k is surface row Height - 1 - k for bottom-up files.
        int32_t y = l.topDown ? k : surface.Height() - 1 - k;
        std::memcpy(surface.RowAddress(y), bytes.data() + l.pixelOffset + static_cast<size_t>(k) * stride, stride);
    }
}

std::string EncodeBitmap(const TDIBSurface& surface, bool bitFields32)
{
    int32_t bits = surface.BitDepth() ? surface.BitDepth() : 24;
    uint32_t colors = bits <= 8 ? 1u << bits : 0;
    bool fields = bits == 16 || (bits == 32 && bitFields32);
    uint32_t offBits = 14 + 40 + (fields ? 12 : 0) + colors * 4;
    uint32_t imageSize = static_cast<uint32_t>(surface.ImageSize());
    ByteWriter out;
    out.U8('B'), out.U8('M');
    out.U32(offBits + imageSize);
    out.U32(0);
    out.U32(offBits);
    out.U32(40);
    out.I32(surface.Width());
    out.I32(surface.Height());
    out.U16(1);
    out.U16(static_cast<uint16_t>(bits));
    out.U32(fields ? BiBitFields : BiRgb);
    out.U32(imageSize);
    out.U32(0), out.U32(0);
    out.U32(colors);
    out.U32(0);
    if (fields)
        out.U32(surface.RedMask()), out.U32(surface.GreenMask()), out.U32(surface.BlueMask());
    for (uint32_t i = 0; i < colors; ++i) {
        const TRGBQuad& q = surface.ColorTable[i];
        out.U8(q.rgbBlue), out.U8(q.rgbGreen), out.U8(q.rgbRed), out.U8(0);
    }
    if (imageSize)
        out.Bytes(surface.Bits(), imageSize); // bottom row first, as the surface holds it
    return out.Data();
}

void LoadBitmapFile(TDIBSurface& surface, const AnsiString& fileName)
{
    std::vector<uint8_t> bytes = ReadWholeFile(fileName);
    DecodeBitmap(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), surface);
}

void SaveBitmapFile(const TDIBSurface& surface, const AnsiString& fileName)
{
    std::string bytes = EncodeBitmap(surface);
    TFileStream out(fileName, fmCreate);
    out.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

} // namespace tarn
