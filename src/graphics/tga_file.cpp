// TGA files: the 18-byte header, an optional colour map, plain or run-length
// pixels, and the footer with its extension area (which carries the key colour).
#include <algorithm>
#include <cstring>

#include "base/byte_reader.h"
#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"
#include "graphics/image_files.h"
#include "graphics/image_messages.h"
#include "graphics/pick_px.h"

namespace tarn {

namespace {

constexpr size_t HeaderSize = 18, FooterSize = 26, ExtensionSize = 495;
constexpr char Signature[] = "TRUEVISION-XFILE"; // followed by "." and a 0 byte
constexpr uint8_t DescRightToLeft = 0x10, DescTopFirst = 0x20;

struct TgaHeader {
    uint8_t idLength = 0, colorMapType = 0, imageType = 0;
    uint16_t firstEntry = 0, mapLength = 0;
    uint8_t entrySize = 0;
    uint16_t width = 0, height = 0;
    uint8_t pixelDepth = 0, descriptor = 0;
};

// Where everything lies, worked out and checked before the surface is touched.
struct TgaLayout {
    TgaHeader h;
    bool readable = false; // an image type this reader knows
    bool runLength = false;
    size_t dataStart = 0, dataEnd = 0;
    bool hasKey = false;
    uint8_t keyRed = 0, keyGreen = 0, keyBlue = 0;
    bool hasMap = false;
    std::array<TRGBQuad, 256> colors {};
    int32_t surfaceDepth = 0; // 15-bit files go to 5-6-5 like 16-bit ones
    int32_t pixelBytes = 0;   // 0 below 8 bits
    size_t rowBytes = 0;      // one stored row of a plain image
};

[[noreturn]] void Truncated() { throw EGraphicError(msg::TgaTruncated, {}); }
[[noreturn]] void BadHeader(const char* what) { throw EGraphicError(msg::TgaBadHeader, { what }); }

TgaHeader ReadHeader(ByteReader& in)
{
    TgaHeader h;
    h.idLength = in.U8();
    h.colorMapType = in.U8();
    h.imageType = in.U8();
    h.firstEntry = in.U16();
    h.mapLength = in.U16();
    h.entrySize = in.U8();
    in.Skip(4); // x and y origin
    h.width = in.U16();
    h.height = in.U16();
    h.pixelDepth = in.U8();
    h.descriptor = in.U8();
    return h;
}

// The footer, when the file has one: going back over trailing 0 bytes, a "."
// preceded by the signature, with the two offsets before that.
void ReadFooter(std::string_view bytes, TgaLayout& l)
{
    size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0)
        --end;
    l.dataEnd = bytes.size();
    if (end == 0 || bytes[end - 1] != '.' || end - 1 < 24)
        return;
    size_t dot = end - 1;
    if (std::memcmp(bytes.data() + dot - 16, Signature, 16) != 0)
        return;
    ByteReader in(bytes);
    in.Seek(dot - 24);
    int32_t extension = in.I32();
    int32_t developer = in.I32();
    int64_t dataEnd = developer > 0 ? developer : extension > 0 ? extension : static_cast<int64_t>(bytes.size());
    if (dataEnd > static_cast<int64_t>(bytes.size()))
        BadHeader("footer");
    l.dataEnd = static_cast<size_t>(dataEnd);
    if (extension > 0) {
        if (static_cast<uint64_t>(extension) + ExtensionSize > bytes.size())
            BadHeader("extension area");
        l.hasKey = true;
        l.keyRed = static_cast<uint8_t>(bytes[static_cast<size_t>(extension) + 471]);
        l.keyGreen = static_cast<uint8_t>(bytes[static_cast<size_t>(extension) + 472]);
        l.keyBlue = static_cast<uint8_t>(bytes[static_cast<size_t>(extension) + 473]);
    }
}

void ReadColorMap(ByteReader& in, TgaLayout& l)
{
    const TgaHeader& h = l.h;
    if (h.colorMapType == 0 || h.mapLength == 0 || h.entrySize == 0)
        return;
    size_t entryBytes = (h.entrySize + 7u) / 8u;
    if (size_t(h.mapLength) * entryBytes > in.Remaining())
        BadHeader("colour map");
    l.hasMap = true;
    for (uint32_t i = 0; i < h.mapLength; ++i) {
        uint32_t index = h.firstEntry + i;
        TRGBQuad q;
        if (h.entrySize == 15 || h.entrySize == 16) {
            uint16_t w = in.U16();
            q.rgbRed = static_cast<uint8_t>((w & 0x7C00) >> 7);
            q.rgbGreen = static_cast<uint8_t>((w & 0x3E0) >> 2);
            q.rgbBlue = static_cast<uint8_t>((w & 0x1F) * 8);
        } else if (h.entrySize == 24 || h.entrySize == 32) {
            q.rgbBlue = in.U8(), q.rgbGreen = in.U8(), q.rgbRed = in.U8();
            if (h.entrySize == 32)
                in.Skip(1);
        } else {
            // Entries of other sizes carry no colours we know, but their bytes
            // still lie before the pixels.
            in.Skip(entryBytes);
            continue;
        }
        if (index < 256)
            l.colors[index] = q;
    }
}

TgaLayout ReadLayout(std::string_view bytes)
{
    TgaLayout l;
    ByteReader in(bytes);
    if (bytes.size() < HeaderSize)
        Truncated();
    l.h = ReadHeader(in);
    const TgaHeader& h = l.h;
    switch (h.imageType) {
    case 1: case 2: case 3: case 9: case 10: case 11:
        l.readable = true;
        break;
    default:
        return l;
    }
    l.runLength = h.imageType >= 9;
    ReadFooter(bytes, l);
    if (h.idLength > in.Remaining())
        Truncated();
    in.Skip(h.idLength);
    ReadColorMap(in, l);
    l.dataStart = in.Position();

    int32_t depth = h.pixelDepth;
    switch (depth) {
    case 1: case 4: case 8: case 24: case 32:
        l.surfaceDepth = depth;
        break;
    case 15: case 16:
        l.surfaceDepth = 16;
        break;
    default:
        throw EGraphicError(msg::BadBitCount, { depth });
    }
    l.pixelBytes = depth == 15 ? 2 : depth / 8;
    if (l.runLength && l.pixelBytes == 0)
        throw EGraphicError(msg::TgaRunLengthDepth, { depth });
    uint64_t pixels = uint64_t(h.width) * h.height;
    if (pixels > static_cast<uint64_t>(MaxImagePixels))
        throw EGraphicError(msg::ImageTooLarge, { h.width, h.height });
    l.rowBytes = l.pixelBytes ? size_t(h.width) * static_cast<size_t>(l.pixelBytes) : (size_t(h.width) * static_cast<size_t>(depth) + 7) / 8;
    uint64_t available = l.dataEnd > l.dataStart ? l.dataEnd - l.dataStart : 0;
    if (!l.runLength) {
        if (uint64_t(l.rowBytes) * h.height > available)
            Truncated();
    } else if (pixels > 0) {
        // Every packet holds at least its header byte and one pixel and
        // stands for at most 128 pixels.
        uint64_t packets = available / (1u + static_cast<uint64_t>(l.pixelBytes));
        if (pixels > packets * 128)
            Truncated();
    }
    return l;
}

// Writes the stream of stored pixels into surface rows: stored row k is row
// k of a top-first picture, else row Height - 1 - k.
class RowSink {
public:
    RowSink(TDIBSurface& s, bool topFirst, size_t pixelBytes)
        : s_(s), topFirst_(topFirst), pixelBytes_(pixelBytes), width_(static_cast<size_t>(s.Width()))
    {
        if (s.Height() > 0)
            Start(0);
    }
    bool Done() const { return row_ >= s_.Height(); }
    // The pixels the data did not reach become 0 (the surface may hold an
    // earlier picture of the same size).
    void ZeroRest()
    {
        while (!Done()) {
            std::memset(dst_, 0, left_ * pixelBytes_);
            Advance(left_);
        }
    }

    // Up to count pixels copied from src; returns how many.
    size_t Copy(const uint8_t* src, size_t count)
    {
        size_t done = 0;
        while (done < count && !Done()) {
            size_t n = std::min(count - done, left_);
            std::memcpy(dst_, src + done * pixelBytes_, n * pixelBytes_);
            Advance(n);
            done += n;
        }
        return done;
    }
    // Up to count copies of the pixel at value.
    void Repeat(const uint8_t* value, size_t count)
    {
        while (count > 0 && !Done()) {
            size_t n = std::min(count, left_);
            Fill(value, n);
            Advance(n);
            count -= n;
        }
    }

private:
    void Start(int32_t k)
    {
        row_ = k;
        if (!Done()) {
            dst_ = s_.RowAddress(topFirst_ ? k : s_.Height() - 1 - k);
            left_ = width_;
        }
    }
    void Advance(size_t n)
    {
        dst_ += n * pixelBytes_;
        left_ -= n;
        if (left_ == 0)
            Start(row_ + 1);
    }
    void Fill(const uint8_t* value, size_t n)
    {
        switch (pixelBytes_) {
        case 1:
            std::memset(dst_, *value, n);
            break;
        case 2: {
            uint16_t v;
            std::memcpy(&v, value, 2);
            for (size_t i = 0; i < n; ++i)
                std::memcpy(dst_ + 2 * i, &v, 2);
            break;
        }
        case 4: {
            uint32_t v;
            std::memcpy(&v, value, 4);
            for (size_t i = 0; i < n; ++i)
                std::memcpy(dst_ + 4 * i, &v, 4);
            break;
        }
        default:
            for (size_t i = 0; i < n; ++i)
                std::memcpy(dst_ + 3 * i, value, 3);
            break;
        }
    }

    TDIBSurface& s_;
    bool topFirst_;
    size_t pixelBytes_, width_;
    int32_t row_ = 0;
    uint8_t* dst_ = nullptr;
    size_t left_ = 0;
};

// Packets until the data or the picture ends; pixels the data does not
// reach stay 0.
void DecodeRuns(const uint8_t* p, const uint8_t* end, size_t m, RowSink& sink)
{
    while (p < end && !sink.Done()) {
        uint8_t h = *p++;
        if (h >= 128) {
            if (static_cast<size_t>(end - p) < m)
                return;
            sink.Repeat(p, h - 127u);
            p += m;
        } else {
            size_t count = std::min<size_t>(h + 1u, static_cast<size_t>(end - p) / m);
            sink.Copy(p, count);
            if (count < h + 1u)
                return;
            p += count * m;
        }
    }
}

// 5-5-5 words become 5-6-5: the top bit is dropped and green's lowest bit is 0.
void WidenGreen(TDIBSurface& s)
{
    for (int32_t y = 0; y < s.Height(); ++y) {
        uint8_t* row = s.RowAddress(y);
        for (int32_t x = 0; x < s.Width(); ++x) {
            uint16_t w;
            std::memcpy(&w, row + 2 * x, 2);
            w = static_cast<uint16_t>(((w >> 5) << 6) | (w & 0x1F));
            std::memcpy(row + 2 * x, &w, 2);
        }
    }
}

} // namespace

void DecodeTga(std::string_view bytes, TDIBSurface& surface, int32_t& key, TLoadResults& results, bool keepAlpha)
{
    TgaLayout l = ReadLayout(bytes);
    results.ImageType = l.h.imageType;
    results.FileBits = l.h.pixelDepth;
    key = -1;
    surface.FreeMask();
    if (!l.readable) {
        surface.Resize(0, 0, surface.BitDepth() ? surface.EffectiveDepth() : 24);
        return;
    }
    const TgaHeader& h = l.h;
    surface.Resize(h.width, h.height, l.surfaceDepth);
    if (!l.hasMap && (h.imageType == 3 || h.imageType == 11) && l.surfaceDepth <= 8) {
        // A grey picture without a colour map shows its values as a grey ramp.
        int32_t top = (1 << l.surfaceDepth) - 1;
        for (int32_t i = 0; i <= top; ++i) {
            auto v = static_cast<uint8_t>(i * 255 / top);
            l.colors[static_cast<size_t>(i)] = { v, v, v, 0 };
        }
    }
    surface.ColorTable = l.colors;
    surface.ApplyColorTable();
    if (l.hasKey) {
        key = surface.EffectiveDepth() > 8 ? static_cast<int32_t>(surface.PackColor(l.keyRed, l.keyGreen, l.keyBlue))
                                           : static_cast<int32_t>(surface.NearestIndex(l.keyRed, l.keyGreen, l.keyBlue));
    }

    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    bool topFirst = (h.descriptor & DescTopFirst) != 0;
    if (!l.runLength) {
        for (int32_t k = 0; k < h.height; ++k)
            std::memcpy(surface.RowAddress(topFirst ? k : h.height - 1 - k), data + l.dataStart + size_t(k) * l.rowBytes, l.rowBytes);
    } else {
        results.IsRunLength = true;
        RowSink sink(surface, topFirst, static_cast<size_t>(l.pixelBytes));
        DecodeRuns(data + l.dataStart, data + std::max(l.dataStart, l.dataEnd), static_cast<size_t>(l.pixelBytes), sink);
        sink.ZeroRest();
    }
    if (l.surfaceDepth == 16)
        WidenGreen(surface);
    if (h.descriptor & DescRightToLeft)
        surface.MirrorHorizontal();
    if (keepAlpha && surface.EffectiveDepth() == 32) {
        MoveFourthByteToMask(surface, true);
        results.HasAlphaMask = true;
    }
}

namespace {

// Plans the runs of one row of pixels of the reader's width and writes its
// packets. Packets end with their row, as the format asks: readers in use
// refuse a run that continues on the next row.
template <class Reader>
void WriteRowPackets(const uint8_t* row, size_t width, size_t m, TPxList& plan, std::string& out)
{
    Reader reader;
    plan.Clear(width);
    reader.Start = row;
    reader.Rewind();
    for (size_t i = 0; i < width; ++i) {
        uint32_t v = reader.Next();
        if (plan.Continues(static_cast<int32_t>(v)))
            plan.Extend();
        else
            plan.Add(static_cast<int32_t>(v));
    }
    plan.Rewind();
    reader.Rewind();
    bool isRun;
    int32_t count;
    while (plan.NextPacket(isRun, count)) {
        if (isRun) {
            out += static_cast<char>(count + 127);
            uint32_t v = reader.Next();
            out.append(reinterpret_cast<const char*>(&v), m);
            reader.Skip(count - 1);
        } else {
            out += static_cast<char>(count - 1);
            out.append(reinterpret_cast<const char*>(reader.CurrentAddress()), static_cast<size_t>(count) * m);
            reader.Skip(count);
        }
    }
}

// Row y's pixels as written: in place, or converted into buffer (5-6-5
// becomes 5-5-5) or copied there with a spare byte after them, which the
// 24-bit reader may touch at the last pixel but never encodes.
const uint8_t* StoredRow(const TDIBSurface& s, int32_t y, size_t rowBytes, std::vector<uint8_t>& buffer)
{
    const uint8_t* row = s.RowAddress(y);
    if (s.EffectiveDepth() == 16) {
        for (int32_t x = 0; x < s.Width(); ++x) {
            uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            v = static_cast<uint16_t>((((v >> 6) << 5) & 0x7FFF) | (v & 0x1F));
            std::memcpy(buffer.data() + 2 * x, &v, 2);
        }
        return buffer.data();
    }
    if (s.BitDepth() == 24) {
        std::memcpy(buffer.data(), row, rowBytes);
        return buffer.data();
    }
    return row;
}

} // namespace

std::string EncodeTga(const TDIBSurface& surface, int32_t key, bool runLength, const TDIBSurface* alphaSource)
{
    std::string out;
    EncodeTga(surface, key, runLength, alphaSource, out);
    return out;
}

void EncodeTga(const TDIBSurface& surface, int32_t key, bool runLength, const TDIBSurface* alphaSource, std::string& out)
{
    // The pixels written come from a work surface where the file cannot hold
    // the surface's own: 32 bits with the alpha, or 8 bits for 1 and 4.
    if (surface.Width() > 0xFFFF || surface.Height() > 0xFFFF)
        throw EGraphicError(msg::ImageTooLarge, { surface.Width(), surface.Height() });
    TDIBSurface work;
    const TDIBSurface* w = &surface;
    int32_t depth = surface.BitDepth() ? surface.BitDepth() : 24;
    int32_t paletteEntries = depth <= 8 ? 1 << depth : 0;
    if (alphaSource) {
        CheckAlphaSource(surface, *alphaSource);
        work.Resize(surface.Width(), surface.Height(), 32);
        work.Canvas().Draw(0, 0, surface);
        for (int32_t y = 0; y < work.Height(); ++y) {
            uint8_t* row = work.RowAddress(y);
            const uint8_t* alpha = alphaSource->RowAddress(y);
            for (int32_t x = 0; x < work.Width(); ++x)
                row[4 * x + 3] = static_cast<uint8_t>(255 - alpha[x]);
        }
        w = &work;
    } else if (depth < 8) {
        work.Resize(surface.Width(), surface.Height(), 8);
        for (int32_t y = 0; y < work.Height(); ++y)
            for (int32_t x = 0; x < work.Width(); ++x)
                work.SetPixel(x, y, surface.Pixel(x, y));
        work.ColorTable = surface.ColorTable;
        work.ApplyColorTable();
        w = &work;
    }
    const int32_t bits = w->BitDepth() ? w->BitDepth() : 24;
    const bool palette = bits <= 8;
    const size_t m = static_cast<size_t>(bits / 8);
    const size_t width = static_cast<size_t>(w->Width()), height = static_cast<size_t>(w->Height());
    const size_t rowBytes = width * m, n = width * height;
    const size_t mapEntries = palette ? size_t(1) << bits : 0;

    out.clear();
    out.reserve(HeaderSize + mapEntries * 3 + n * (runLength ? m + 1 : m) + ExtensionSize + FooterSize);
    auto u8 = [&](uint32_t v) { out += static_cast<char>(v); };
    auto u16 = [&](uint32_t v) { u8(v), u8(v >> 8); };
    auto u32 = [&](uint32_t v) { u16(v), u16(v >> 16); };
    u8(0);
    u8(palette ? 1 : 0);
    u8((palette ? 1 : 2) + (runLength ? 8 : 0));
    u16(0);
    u16(static_cast<uint32_t>(mapEntries));
    u8(24);
    u16(0), u16(0);
    u16(static_cast<uint32_t>(width));
    u16(static_cast<uint32_t>(height));
    u8(static_cast<uint32_t>(bits));
    u8(DescTopFirst);
    for (size_t i = 0; i < mapEntries; ++i) {
        // Entries past the surface's own colours are 0.
        const TRGBQuad q = static_cast<int32_t>(i) < paletteEntries ? surface.ColorTable[i] : TRGBQuad {};
        u8(q.rgbBlue), u8(q.rgbGreen), u8(q.rgbRed);
    }
    std::vector<uint8_t> buffer(rowBytes + 1);
    TPxList plan;
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* row = StoredRow(*w, static_cast<int32_t>(y), rowBytes, buffer);
        if (!runLength) {
            out.append(reinterpret_cast<const char*>(row), rowBytes);
            continue;
        }
        switch (m) {
        case 1: WriteRowPackets<TPickPx>(row, width, m, plan, out); break;
        case 2: WriteRowPackets<TPickPx16>(row, width, m, plan, out); break;
        case 3: WriteRowPackets<TPickPx24>(row, width, m, plan, out); break;
        default: WriteRowPackets<TPickPx32>(row, width, m, plan, out); break;
        }
    }
    uint32_t extensionOffset = 0;
    if (!alphaSource && key >= 0) {
        extensionOffset = static_cast<uint32_t>(out.size());
        std::string extension(ExtensionSize, '\0');
        extension[0] = static_cast<char>(ExtensionSize & 0xFF), extension[1] = static_cast<char>(ExtensionSize >> 8);
        // UnpackColor leaves a 32-bit surface's outputs alone: they start as
        // the value's own bytes.
        auto k = static_cast<uint32_t>(key);
        uint8_t r = static_cast<uint8_t>(k >> 16), g = static_cast<uint8_t>(k >> 8), b = static_cast<uint8_t>(k);
        surface.UnpackColor(k, r, g, b);
        extension[471] = static_cast<char>(r), extension[472] = static_cast<char>(g), extension[473] = static_cast<char>(b);
        out += extension;
    }
    u32(extensionOffset);
    u32(0);
    out.append("TRUEVISION-XFILE.", 17);
    u8(0);
}

} // namespace tarn
