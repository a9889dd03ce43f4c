// PNG through the Windows Imaging Component, giving what the libpng build
// gives: the same pixel formats, palettes, masks and refusals.
//
// The codec's own reading of a picture differs between its implementations
// (which format a grey picture with a transparency chunk comes in, whether a
// damaged chunk is noticed), so the picture's chunks are read here first,
// with the rules libpng applies, and the codec is asked only for the pixels,
// in the format it decodes to; scaling, grey expansion and transparency are
// done here as libpng does them.
#include "graphics/png_file.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

// Before the system's headers, whose colour macros (GetRValue, ...) would
// take the surface's functions of the same names for themselves.
#include "base/byte_reader.h"
#include "platform/com_scope.h"
#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"

#include <windows.h>

#include <objbase.h>
#include <wincodec.h>
#include <zlib.h>

namespace tarn {

bool PngAvailable() { return true; }

namespace {

// Pictures above this many pixels are refused before their pixels are decoded.
constexpr uint64_t MaxPngPixels = uint64_t(1) << 28;

[[noreturn]] void Fail(const char* what) { throw EGraphicError(msg::PngError, { what }); }

// ---- COM ----

// The calling thread's apartment for one call: the tools never set one up.
class Apartment {
public:
    Apartment()
    {
        if (!scope_.Usable())
            Fail("COM is not available");
    }

private:
    platform::ComScope scope_;
};

template <typename T>
class Com {
public:
    Com() = default;
    ~Com()
    {
        if (p_)
            p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** put() { return &p_; }
    void** putVoid() { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

void Check(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        Fail(what);
}

void MakeFactory(Com<IWICImagingFactory>& factory)
{
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory, factory.putVoid()),
          "the imaging component is not available");
}

// ---- the picture's chunks, read as libpng reads them ----

struct PngHeader {
    uint32_t width = 0, height = 0;
    int depth = 0, type = 0;
    std::vector<TRGBQuad> colors;      // PLTE of a palette picture (at most 2^depth)
    std::vector<uint8_t> alphaOfIndex; // tRNS of a palette picture, 256 entries; empty when none
    bool keyed = false;                // tRNS of a grey or RGB picture
    uint16_t keyGrey = 0, keyRed = 0, keyGreen = 0, keyBlue = 0;
};

bool ValidDepth(int type, int depth)
{
    switch (type) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    }
    return false;
}

// Everything up to the image data, checked: a critical chunk that is
// damaged or missing refuses the picture, an ancillary one that is damaged
// or out of place is ignored. Reading stops where the image data ends.
PngHeader ReadHeader(std::string_view png)
{
    static const char signature[] = "\x89PNG\r\n\x1a\n";
    ByteReader in(png);
    if (in.Remaining() < 8 || in.Take(8) != std::string_view(signature, 8))
        Fail("not a PNG picture");
    PngHeader h;
    bool haveHeader = false, havePalette = false, haveTransparency = false, inData = false;
    for (;;) {
        // A chunk's length, type and CRC, and as many bytes as it says.
        if (in.Remaining() < 12 || ByteReader(in.Current(), 4).U32Be() > in.Remaining() - 12) {
            // The codec tells whether the image data it has is enough.
            if (inData)
                return h;
            Fail("data ends early");
        }
        const uint8_t* chunk = in.Current();
        uint32_t length = in.U32Be();
        if (length > 0x7FFFFFFFu)
            Fail("invalid chunk length");
        std::string_view type = in.Take(4);
        std::string_view data = in.Take(length);
        uint32_t stored = in.U32Be();
        // libpng reads nothing after the image data: what follows it,
        // damaged or not, does not count.
        if (inData && type != "IDAT")
            return h;
        for (char c : type)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
                Fail("invalid chunk type");
        bool critical = type[0] >= 'A' && type[0] <= 'Z';
        if (static_cast<uint32_t>(crc32(0, chunk + 4, length + 4)) != stored) {
            if (critical)
                Fail("CRC error");
            continue;
        }
        ByteReader fields(data);
        if (!haveHeader) {
            if (type != "IHDR" || length != 13)
                Fail("IHDR must come first");
            h.width = fields.U32Be(), h.height = fields.U32Be();
            h.depth = fields.U8(), h.type = fields.U8();
            uint8_t compression = fields.U8(), filter = fields.U8(), interlace = fields.U8();
            if (h.width == 0 || h.height == 0 || h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu)
                Fail("invalid image size");
            if (!ValidDepth(h.type, h.depth) || compression != 0 || filter != 0 || (interlace != 0 && interlace != 1))
                Fail("invalid IHDR data");
            haveHeader = true;
        } else if (type == "IHDR") {
            Fail("duplicate IHDR");
        } else if (type == "PLTE") {
            if (havePalette)
                Fail("duplicate PLTE");
            if (h.type == 3) {
                if (length == 0 || length % 3 != 0 || length > 768)
                    Fail("invalid PLTE");
                size_t count = std::min<size_t>(length / 3, size_t(1) << h.depth);
                for (size_t i = 0; i < count; ++i) {
                    uint8_t red = fields.U8(), green = fields.U8(), blue = fields.U8();
                    h.colors.push_back({ blue, green, red, 0 });
                }
            }
            havePalette = true; // a suggested palette of a true-colour picture is not used
        } else if (type == "tRNS") {
            if (haveTransparency)
                continue;
            if (h.type == 3 && havePalette && length > 0 && length <= h.colors.size()) {
                h.alphaOfIndex.assign(256, 255);
                fields.Read(h.alphaOfIndex.data(), length);
                haveTransparency = true;
            } else if (h.type == 0 && length == 2) {
                h.keyed = haveTransparency = true;
                h.keyGrey = fields.U16Be();
            } else if (h.type == 2 && length == 6) {
                h.keyed = haveTransparency = true;
                h.keyRed = fields.U16Be(), h.keyGreen = fields.U16Be(), h.keyBlue = fields.U16Be();
            }
        } else if (type == "IDAT") {
            if (h.type == 3 && !havePalette)
                Fail("Missing PLTE before IDAT");
            if (static_cast<uint64_t>(h.width) * h.height > MaxPngPixels)
                Fail("picture too large");
            inData = true;
        } else if (type == "IEND") {
            Fail("no image data");
        } else if (critical) {
            Fail("unknown critical chunk");
        }
    }
}

// ---- the pixels from the codec ----

// One picture's samples as the codec gave them: an index or a grey value
// (at the picture's own depth) for every pixel, or red, green, blue and
// alpha at `bits` per sample.
struct Samples {
    bool indexed = false;
    int bits = 8;
    bool alpha = false;
    std::vector<uint16_t> values; // 1 or 4 per pixel
};

struct FormatInfo {
    const GUID* guid;
    int bitsPerPixel;
};

const FormatInfo kReadable[] = {
    { &GUID_WICPixelFormatBlackWhite, 1 }, { &GUID_WICPixelFormat2bppGray, 2 },     { &GUID_WICPixelFormat4bppGray, 4 },
    { &GUID_WICPixelFormat8bppGray, 8 },   { &GUID_WICPixelFormat16bppGray, 16 },  { &GUID_WICPixelFormat1bppIndexed, 1 },
    { &GUID_WICPixelFormat2bppIndexed, 2 }, { &GUID_WICPixelFormat4bppIndexed, 4 }, { &GUID_WICPixelFormat8bppIndexed, 8 },
    { &GUID_WICPixelFormat24bppBGR, 24 },  { &GUID_WICPixelFormat24bppRGB, 24 },   { &GUID_WICPixelFormat32bppBGR, 32 },
    { &GUID_WICPixelFormat32bppBGRA, 32 }, { &GUID_WICPixelFormat48bppRGB, 48 },   { &GUID_WICPixelFormat64bppRGBA, 64 },
};

const FormatInfo* Readable(const GUID& format)
{
    for (const FormatInfo& f : kReadable)
        if (IsEqualGUID(*f.guid, format))
            return &f;
    return nullptr;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

Samples ReadSamples(IWICBitmapSource* source, const GUID& format, int bitsPerPixel, uint32_t width, uint32_t height)
{
    uint64_t stride64 = (static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel) + 7) / 8;
    if (stride64 * height > UINT_MAX)
        Fail("picture too large");
    UINT stride = static_cast<UINT>(stride64);
    std::vector<uint8_t> rows(static_cast<size_t>(stride) * height);
    Check(source->CopyPixels(nullptr, stride, static_cast<UINT>(rows.size()), rows.data()), "decoding failed");

    Samples s;
    bool grey = IsEqualGUID(format, GUID_WICPixelFormatBlackWhite) || IsEqualGUID(format, GUID_WICPixelFormat2bppGray) ||
                IsEqualGUID(format, GUID_WICPixelFormat4bppGray) || IsEqualGUID(format, GUID_WICPixelFormat8bppGray) ||
                IsEqualGUID(format, GUID_WICPixelFormat16bppGray);
    s.indexed = !grey && bitsPerPixel <= 8;
    size_t pixels = static_cast<size_t>(width) * height;
    if (grey || s.indexed) {
        s.bits = bitsPerPixel;
        s.values.resize(pixels);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = rows.data() + static_cast<size_t>(stride) * y;
            uint16_t* out = s.values.data() + static_cast<size_t>(width) * y;
            for (uint32_t x = 0; x < width; ++x) {
                if (bitsPerPixel == 16) {
                    out[x] = Le16(row + x * 2);
                } else {
                    // Packed from the high bits, as PNG and the codec keep them.
                    size_t bit = static_cast<size_t>(x) * bitsPerPixel;
                    out[x] = static_cast<uint16_t>(row[bit / 8] >> (8 - bitsPerPixel - bit % 8) & ((1 << bitsPerPixel) - 1));
                }
            }
        }
        return s;
    }
    bool wide = bitsPerPixel >= 48;
    bool bgr = IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) || IsEqualGUID(format, GUID_WICPixelFormat32bppBGR) ||
               IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA);
    s.bits = wide ? 16 : 8;
    s.alpha = IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) || IsEqualGUID(format, GUID_WICPixelFormat64bppRGBA);
    int channels = bitsPerPixel / (wide ? 16 : 8);
    s.values.resize(pixels * 4);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* p = rows.data() + static_cast<size_t>(stride) * y;
        uint16_t* out = s.values.data() + static_cast<size_t>(width) * y * 4;
        for (uint32_t x = 0; x < width; ++x, p += channels * (wide ? 2 : 1), out += 4) {
            uint16_t c[4] = { 0, 0, 0, 0xFFFF };
            for (int i = 0; i < channels; ++i)
                c[i] = wide ? Le16(p + i * 2) : p[i];
            out[0] = bgr ? c[2] : c[0];
            out[1] = c[1];
            out[2] = bgr ? c[0] : c[2];
            out[3] = s.alpha ? c[3] : 0xFFFF;
        }
    }
    return s;
}

// A 16-bit sample to 8 bits, rounded exactly as libpng's scaling does.
uint8_t Scale16(uint16_t v)
{
    int32_t high = v >> 8, low = v & 0xFF;
    return static_cast<uint8_t>(high + (((low - high + 128) * 65535) >> 24));
}

// A sample of `bits` to 8 bits: scaled down, kept, or widened (a grey value
// below 8 bits repeats its bits, 0..3 at 2 bits giving 0, 85, 170, 255).
uint8_t To8(uint16_t v, int bits)
{
    if (bits == 16)
        return Scale16(v);
    if (bits >= 8)
        return static_cast<uint8_t>(v);
    return static_cast<uint8_t>(v * (255 / ((1 << bits) - 1)));
}

} // namespace

std::string EncodePng(const TDIBSurface& surface)
{
    if (surface.Empty())
        Fail("empty picture");
    const TDIBSurface* mask = surface.Mask();
    int channels = mask ? 4 : 3;
    uint32_t width = static_cast<uint32_t>(surface.Width()), height = static_cast<uint32_t>(surface.Height());
    uint64_t stride64 = static_cast<uint64_t>(width) * static_cast<uint64_t>(channels);
    if (stride64 * height > UINT_MAX)
        Fail("picture too large");
    UINT stride = static_cast<UINT>(stride64);
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height);
    int effective = surface.EffectiveDepth();
    for (int32_t y = 0; y < surface.Height(); ++y) {
        uint8_t* p = pixels.data() + static_cast<size_t>(stride) * static_cast<size_t>(y);
        for (int32_t x = 0; x < surface.Width(); ++x, p += channels) {
            uint32_t v = surface.Pixel(x, y);
            uint8_t r, g, b;
            switch (effective) {
            case 15:
                r = static_cast<uint8_t>((v >> 10 & 31) << 3 | (v >> 10 & 31) >> 2);
                g = static_cast<uint8_t>((v >> 5 & 31) << 3 | (v >> 5 & 31) >> 2);
                b = static_cast<uint8_t>((v & 31) << 3 | (v & 31) >> 2);
                break;
            case 16:
                r = static_cast<uint8_t>((v >> 11 & 31) << 3 | (v >> 11 & 31) >> 2);
                g = static_cast<uint8_t>((v >> 5 & 63) << 2 | (v >> 5 & 63) >> 4);
                b = static_cast<uint8_t>((v & 31) << 3 | (v & 31) >> 2);
                break;
            case 24:
            case 32:
                r = static_cast<uint8_t>(v >> 16), g = static_cast<uint8_t>(v >> 8), b = static_cast<uint8_t>(v);
                break;
            default: {
                const TRGBQuad& q = surface.ColorTable[v & 0xFF];
                r = q.rgbRed, g = q.rgbGreen, b = q.rgbBlue;
                break;
            }
            }
            p[0] = b, p[1] = g, p[2] = r; // the codec's formats are BGR
            if (mask)
                p[3] = static_cast<uint8_t>(mask->Pixel(x, y));
        }
    }

    Apartment apartment;
    Com<IWICImagingFactory> factory;
    MakeFactory(factory);
    Com<IStream> stream;
    Check(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), "out of memory");
    Com<IWICBitmapEncoder> encoder;
    Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()), "no PNG encoder");
    Check(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), "encoding failed");
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    Check(encoder->CreateNewFrame(frame.put(), options.put()), "encoding failed");
    Check(frame->Initialize(options.get()), "encoding failed");
    Check(frame->SetSize(width, height), "encoding failed");
    // RGB, or RGBA with straight alpha, 8 bits per channel, as libpng writes them.
    const GUID wanted = mask ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR;
    GUID format = wanted;
    Check(frame->SetPixelFormat(&format), "encoding failed");
    if (!IsEqualGUID(format, wanted))
        Fail("the encoder refuses the pixel format");
    Check(frame->WritePixels(height, stride, static_cast<UINT>(pixels.size()), pixels.data()), "encoding failed");
    Check(frame->Commit(), "encoding failed");
    Check(encoder->Commit(), "encoding failed");

    STATSTG stat = {};
    Check(stream->Stat(&stat, STATFLAG_NONAME), "encoding failed");
    HGLOBAL memory = nullptr;
    Check(GetHGlobalFromStream(stream.get(), &memory), "encoding failed");
    size_t size = static_cast<size_t>(stat.cbSize.QuadPart);
    const void* bytes = GlobalLock(memory);
    if (!bytes && size > 0)
        Fail("encoding failed");
    std::string out(static_cast<const char*>(bytes), size);
    GlobalUnlock(memory);
    return out;
}

void DecodePng(std::string_view bytes, TDIBSurface& surface)
{
    PngHeader h = ReadHeader(bytes);
    if (bytes.size() > UINT_MAX)
        Fail("picture too large");

    Apartment apartment;
    Com<IWICImagingFactory> factory;
    MakeFactory(factory);
    Com<IWICStream> stream;
    Check(factory->CreateStream(stream.put()), "out of memory");
    // The stream only reads from the bytes.
    Check(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<DWORD>(bytes.size())),
          "out of memory");
    Com<IWICBitmapDecoder> decoder;
    Check(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.put()), "no PNG decoder");
    Check(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand), "decoding failed");
    Com<IWICBitmapFrameDecode> frame;
    Check(decoder->GetFrame(0, frame.put()), "decoding failed");
    UINT w = 0, hgt = 0;
    Check(frame->GetSize(&w, &hgt), "decoding failed");
    if (w != h.width || hgt != h.height)
        Fail("decoding failed");
    GUID format;
    Check(frame->GetPixelFormat(&format), "decoding failed");

    Samples s;
    if (const FormatInfo* f = Readable(format)) {
        s = ReadSamples(frame.get(), format, f->bitsPerPixel, w, hgt);
    } else {
        // A codec with formats of its own: converted to straight RGBA.
        const GUID& to = h.depth == 16 ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat32bppBGRA;
        Com<IWICBitmapSource> converted;
        Check(WICConvertBitmapSource(to, frame.get(), converted.put()), "unsupported pixel format");
        s = ReadSamples(converted.get(), to, h.depth == 16 ? 64 : 32, w, hgt);
    }

    int32_t width = static_cast<int32_t>(w), height = static_cast<int32_t>(hgt);
    if (h.type == 3) {
        if (!s.indexed)
            Fail("unsupported pixel format");
        surface.FreeMask();
        surface.Resize(width, height, 8);
        surface.ColorTable = {};
        for (size_t i = 0; i < h.colors.size(); ++i)
            surface.ColorTable[i] = h.colors[i];
        surface.ApplyColorTable();
        if (!h.alphaOfIndex.empty())
            surface.NeedMask();
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* d = surface.RowAddress(y);
            uint8_t* m = surface.HasMask() ? surface.Mask()->RowAddress(y) : nullptr;
            const uint16_t* p = s.values.data() + static_cast<size_t>(width) * static_cast<size_t>(y);
            for (int32_t x = 0; x < width; ++x) {
                d[x] = static_cast<uint8_t>(p[x]);
                if (m)
                    m[x] = h.alphaOfIndex[p[x] & 0xFF];
            }
        }
        return;
    }

    // Grey comes as one value per pixel (the codec may call it an index),
    // colour as four.
    bool greyValues = s.values.size() == static_cast<size_t>(width) * static_cast<size_t>(height);
    if (greyValues && (h.type != 0 || s.bits != h.depth))
        Fail("unsupported pixel format");
    bool hasAlpha = h.type == 4 || h.type == 6;
    bool keyedHere = h.keyed && (greyValues || s.bits == h.depth); // else the codec's own alpha tells
    uint16_t depthMask = static_cast<uint16_t>((1u << h.depth) - 1);
    surface.FreeMask();
    surface.Resize(width, height, 24);
    if (hasAlpha || h.keyed)
        surface.NeedMask();
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* d = surface.RowAddress(y);
        uint8_t* m = surface.HasMask() ? surface.Mask()->RowAddress(y) : nullptr;
        for (int32_t x = 0; x < width; ++x, d += 3) {
            size_t i = static_cast<size_t>(width) * static_cast<size_t>(y) + static_cast<size_t>(x);
            uint8_t r, g, b, a = 255;
            if (greyValues) {
                uint16_t v = s.values[i];
                r = g = b = To8(v, s.bits);
                if (keyedHere && v == (h.keyGrey & depthMask))
                    a = 0;
            } else {
                const uint16_t* p = &s.values[i * 4];
                r = To8(p[0], s.bits), g = To8(p[1], s.bits), b = To8(p[2], s.bits);
                if (hasAlpha || !keyedHere)
                    a = s.alpha ? To8(p[3], s.bits) : 255;
                else if (h.type == 0)
                    a = p[0] == (h.keyGrey & depthMask) ? 0 : 255;
                else
                    a = p[0] == (h.keyRed & depthMask) && p[1] == (h.keyGreen & depthMask) && p[2] == (h.keyBlue & depthMask) ? 0 : 255;
            }
            d[0] = b, d[1] = g, d[2] = r;
            if (m)
                m[x] = a;
        }
    }
}

} // namespace tarn
