// Reading Gale images. Every read is bounds-checked: data that ends early is an
// error, never stale values; counts and sizes are checked against what the
// remaining data can hold before anything is allocated; tile references are
// checked before they are followed.
#include <cstring>

#include "base/byte_reader.h"
#include "base/codepage.h"
#include "base/messages.h"
#include "graphics/gale.h"
#include "graphics/graphics_messages.h"
#include "graphics/pool_order.h"

namespace tarn {

TGaleLayer& TGaleFrame::Layers(int32_t index)
{
    if (index < 0 || index >= LayerCount())
        throw EListError(msg::ListIndex, { index });
    return *layers_[static_cast<size_t>(index)];
}

TGaleLayer& TGaleFrame::AddLayer()
{
    layers_.push_back(std::make_unique<TGaleLayer>(this));
    return *layers_.back();
}

TGaleFrameList& TGaleFrameList::operator=(TGaleFrameList&& other) noexcept
{
    BackgroundColor = other.BackgroundColor;
    Version = other.Version;
    ConvertBitCount = other.ConvertBitCount;
    Seed = other.Seed;
    OpaqueBottomLayer = other.OpaqueBottomLayer;
    FormatVersion = other.FormatVersion;
    HeaderFrameCount = other.HeaderFrameCount;
    Scrambled = other.Scrambled;
    TileWidth = other.TileWidth, TileHeight = other.TileHeight;
    MaxPixelBytes = other.MaxPixelBytes;
    frames_ = std::move(other.frames_);
    for (auto& f : frames_)
        f->List = this;
    return *this;
}

TGaleFrame& TGaleFrameList::Frames(int32_t index)
{
    if (index < 0 || index >= Count())
        throw EListError(msg::ListIndex, { index });
    return *frames_[static_cast<size_t>(index)];
}

namespace {

[[noreturn]] void Damaged(std::u8string_view what) { throw EGraphicError(msg::GaleDamaged, { Sjis(what) }); }

// The smallest frame (name length, transparent index, value, 5 skipped bytes,
// layer count, width, height, bit count) and layer (8 skipped bytes, visible,
// key, opacity, name length, block size) the format allows.
constexpr int64_t MinFrameBytes = 4 + 4 + 4 + 5 + 4 + 4 + 4 + 4;
constexpr int64_t MinLayerBytes = 8 + 1 + 4 + 4 + 4 + 4;

int32_t StorageDepth(int32_t bitCount) { return bitCount == 15 ? 16 : bitCount; }

// Pixel bytes at the padding end of each row, zeroed for blocks whose pixels
// are all written but whose padding is not.
void ZeroRowPadding(TDIBSurface& s)
{
    size_t used = (static_cast<size_t>(s.Width()) * static_cast<size_t>(s.BitDepth()) + 7) / 8;
    size_t stride = static_cast<size_t>(s.Stride());
    if (used == stride)
        return;
    for (int32_t y = 0; y < s.Height(); ++y)
        std::memset(s.RowAddress(y) + used, 0, stride - used);
}

} // namespace

struct GaleLoader {
    TGaleFrameList& list;
    ByteReader in;
    bool firstFrameOnly;
    int32_t formatVersion = 0;
    bool scramble = false;
    int32_t tileW = 0, tileH = 0;
    int64_t pixelBytes = 0;
    int32_t framesToRead = 0;

    bool Tiled() const { return formatVersion >= 103 && tileW > 0 && tileH > 0; }

    void Reserve(int64_t bytes)
    {
        pixelBytes += bytes;
        if (pixelBytes > list.MaxPixelBytes)
            Damaged(u8"画像が大きすぎます");
    }

    void SkipName()
    {
        int32_t n = in.I32();
        if (n > 0)
            in.Skip(static_cast<size_t>(n));
    }

    void ReadHeader()
    {
        list.Version = 0;
        if (in.Size() >= 4 && std::memcmp(in.Current(), "Gale", 4) == 0) {
            std::string_view magic = in.Take(7);
            int32_t v = 0;
            for (size_t i = 4; i < 7; ++i) {
                if (magic[i] < '0' || magic[i] > '9')
                    throw EConvertError(msg::NotInteger, { AnsiString(magic.substr(4)) });
                v = v * 10 + (magic[i] - '0');
            }
            list.Version = v;
        }
        int32_t frameCount = 0;
        bool opaque = false;
        if (list.Version < 103) {
            frameCount = in.I32();
            in.Skip(1);
            if (list.Version >= 102)
                list.BackgroundColor = in.U32();
            formatVersion = list.Version;
        } else {
            int32_t size = in.I32();
            if (size < 0)
                Damaged(u8"ヘッダーの大きさ");
            uint8_t record[40] = {};
            size_t covered = size < 40 ? static_cast<size_t>(size) : 40;
            in.Read(record, covered);
            if (size > 40)
                in.Skip(static_cast<size_t>(size) - 40);
            ByteReader r(record, sizeof record);
            formatVersion = r.I32();
            r.Skip(12);
            frameCount = r.I32();
            r.Skip(1);
            scramble = r.U8() != 0;
            r.Skip(2);
            list.BackgroundColor = r.U32();
            tileW = r.I32();
            tileH = r.I32();
            opaque = list.Version >= 105 && r.U8() != 0;
        }
        list.FormatVersion = formatVersion;
        list.HeaderFrameCount = frameCount;
        list.Scrambled = scramble;
        list.TileWidth = tileW, list.TileHeight = tileH;
        list.OpaqueBottomLayer = opaque;
        if (frameCount < 0)
            frameCount = 0;
        if (firstFrameOnly && frameCount > 1)
            frameCount = 1;
        if (static_cast<int64_t>(frameCount) * MinFrameBytes > static_cast<int64_t>(in.Remaining()))
            Damaged(u8"フレーム数");
        framesToRead = frameCount;
    }

    // What one block of a w x h picture at least occupies in the file.
    int64_t MinBlockBytes(int32_t w, int32_t h, int32_t bits) const
    {
        if (w <= 0 || h <= 0)
            return 0;
        if (Tiled())
            return ((int64_t(w) + tileW - 1) / tileW) * ((int64_t(h) + tileH - 1) / tileH) * 8;
        return TDIBSurface::StrideFor(w, StorageDepth(bits)) * h;
    }

    // Sizes a block's target. Blocks whose every byte is written by decoding
    // (rows, or tiles at whole-byte depths referring only backwards) leave the
    // new pixels as they come; others start from zero.
    void SizeTarget(TDIBSurface& target, int32_t w, int32_t h, int32_t bits, bool overwritten)
    {
        Reserve(TDIBSurface::StrideFor(w > 0 ? w : 0, StorageDepth(bits)) * (h > 0 ? h : 0));
        if (overwritten)
            target.ResizeForOverwrite(w, h, bits);
        else
            target.Resize(w, h, bits);
    }

    void CopyRect(const TDIBSurface& from, TDIBSurface& to, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t bits)
    {
        size_t bytes = (static_cast<size_t>(w) * static_cast<size_t>(bits) + 7) / 8;
        size_t so = static_cast<size_t>(sx) * static_cast<size_t>(bits) / 8, dOff = static_cast<size_t>(dx) * static_cast<size_t>(bits) / 8;
        for (int32_t r = 0; r < h; ++r)
            std::memmove(to.RowAddress(dy + r) + dOff, from.RowAddress(sy + r) + so, bytes);
    }

    // Decodes one block into target (already holding its picture's size).
    void DecodeBlock(std::string_view block, TDIBSurface& target, int32_t w, int32_t h, int32_t bits, bool isMask,
                     int32_t frameIndex, int32_t layerIndex)
    {
        ByteReader b(block);
        int32_t depth = StorageDepth(bits);
        if (!Tiled()) {
            bool permuted = formatVersion < 103 || scramble;
            SizeTarget(target, w, h, bits, true);
            if (target.Empty())
                return;
            size_t stride = static_cast<size_t>(target.Stride());
            if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(h) > b.Remaining())
                ThrowReadError();
            const uint8_t* src = b.Current();
            if (permuted) {
                std::vector<int32_t> order = PoolOrder(list.Seed, h);
                for (int32_t k = 0; k < h; ++k)
                    std::memcpy(target.RowAddress(order[static_cast<size_t>(k)]), src + static_cast<size_t>(k) * stride, stride);
            } else {
                for (int32_t k = 0; k < h; ++k)
                    std::memcpy(target.RowAddress(k), src + static_cast<size_t>(k) * stride, stride);
            }
            return;
        }
        if (w <= 0 || h <= 0) {
            SizeTarget(target, w, h, bits, true);
            return;
        }
        int64_t tx64 = (int64_t(w) + tileW - 1) / tileW, ty64 = (int64_t(h) + tileH - 1) / tileH; // both at least 1
        int64_t n64 = tx64 * ty64;
        if (n64 * 8 > static_cast<int64_t>(b.Remaining()))
            ThrowReadError();
        int32_t TX = static_cast<int32_t>(tx64), N = static_cast<int32_t>(n64);
        struct Entry {
            int32_t source, index;
        };
        std::vector<Entry> table(static_cast<size_t>(N));
        std::vector<int32_t> order;
        if (scramble)
            order = PoolOrder(list.Seed, N);
        for (int32_t k = 0; k < N; ++k) {
            Entry e { b.I32(), b.I32() };
            table[static_cast<size_t>(scramble ? order[static_cast<size_t>(k)] : k)] = e;
        }
        // Every byte is written unless a tile copies one that is not decoded yet.
        bool overwritten = depth >= 8;
        for (int32_t k = 0; k < N && overwritten; ++k) {
            const Entry& e = table[static_cast<size_t>(k)];
            if ((e.source == -2 && e.index >= k) || (e.source == frameIndex && e.index == layerIndex))
                overwritten = false;
        }
        SizeTarget(target, w, h, bits, overwritten);
        if (overwritten)
            ZeroRowPadding(target);
        int64_t tileRowBytes = (int64_t(tileW) * depth + 7) / 8;
        int64_t stride = target.Stride();
        for (int32_t k = 0; k < N; ++k) {
            int32_t tx = k % TX, ty = k / TX;
            int32_t x = static_cast<int32_t>(int64_t(tx) * tileW), y = static_cast<int32_t>(int64_t(ty) * tileH);
            int32_t tw = static_cast<int32_t>(std::min<int64_t>(tileW, int64_t(w) - x));
            int32_t th = static_cast<int32_t>(std::min<int64_t>(tileH, int64_t(h) - y));
            const Entry& e = table[static_cast<size_t>(k)];
            int64_t rowBytes = (int64_t(depth) * tw + 7) / 8;
            if (e.source == -1) {
                int64_t offset = tx * tileRowBytes;
                if (offset + rowBytes > stride)
                    throw EGraphicError(msg::GaleBadTile, { k });
                for (int32_t r = 0; r < th; ++r)
                    b.Read(target.RowAddress(y + r) + offset, static_cast<size_t>(rowBytes));
            } else if (e.source == -2) {
                if (e.index < 0 || e.index >= N)
                    throw EGraphicError(msg::GaleBadTile, { k });
                int64_t sx = int64_t(e.index % TX) * tileW, sy = int64_t(e.index / TX) * tileH;
                if (sx + tw > w || sy + th > h)
                    throw EGraphicError(msg::GaleBadTile, { k });
                CopyRect(target, target, static_cast<int32_t>(sx), static_cast<int32_t>(sy), x, y, tw, th, depth);
            } else if (e.source >= 0) {
                TGaleFrame& frame = list.Frames(e.source);
                TGaleLayer& layer = frame.Layers(e.index);
                const TDIBSurface* from = isMask ? layer.Surface.Mask() : &layer.Surface;
                if (!from)
                    throw EGraphicError(msg::GaleBadTile, { k });
                // A tile of the layer being decoded that names itself stays as it is.
                if (from != &target) {
                    if (from->BitDepth() != target.BitDepth() || from->GreenMask() != target.GreenMask() ||
                        int64_t(x) + tw > from->Width() || int64_t(y) + th > from->Height())
                        throw EGraphicError(msg::GaleBadTile, { k });
                    CopyRect(*from, target, x, y, x, y, tw, th, depth);
                }
            } else {
                throw EGraphicError(msg::GaleBadTile, { k });
            }
        }
    }

    void ReadLayer(TGaleFrame& frame, TGaleLayer& layer, int32_t frameIndex, int32_t layerIndex, int32_t w, int32_t h, int32_t bits)
    {
        in.Skip(8);
        layer.Visible = in.U8();
        layer.KeyColor = in.I32();
        layer.Opacity = in.I32();
        if (formatVersion >= 101)
            layer.UseAlpha = in.U8();
        SkipName();
        int32_t size = in.I32();
        if (size < 0)
            Damaged(u8"ブロックの大きさ");
        if (static_cast<int64_t>(size) < MinBlockBytes(w, h, bits) && static_cast<size_t>(size) <= in.Remaining())
            ThrowReadError();
        std::string_view block = in.Take(static_cast<size_t>(size));
        DecodeBlock(block, layer.Surface, w, h, bits, false, frameIndex, layerIndex);
        if (formatVersion >= 100) {
            int32_t maskSize = in.I32();
            if (maskSize > 0) {
                if (static_cast<int64_t>(maskSize) < MinBlockBytes(w, h, 8) && static_cast<size_t>(maskSize) <= in.Remaining())
                    ThrowReadError();
                std::string_view maskBlock = in.Take(static_cast<size_t>(maskSize));
                layer.KeyColor = -1;
                layer.Surface.NeedMask();
                DecodeBlock(maskBlock, *layer.Surface.Mask(), w, h, 8, true, frameIndex, layerIndex);
            }
        }
        (void)frame;
    }

    void ReadFrame(TGaleFrame& frame, int32_t frameIndex, bool lastFrame)
    {
        SkipName();
        frame.TransparentIndex = in.I32();
        frame.FrameValue = in.I32();
        in.Skip(5);
        int32_t layerCount = in.I32();
        int32_t w = in.I32();
        int32_t h = in.I32();
        int32_t bits = in.I32();
        if (bits != 1 && bits != 4 && bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32)
            throw EGraphicError(msg::BadBitCount, { bits });
        if (layerCount < 0)
            layerCount = 0;
        std::array<TRGBQuad, 256> colors {};
        if (bits <= 8)
            for (int32_t i = 0; i < (1 << bits); ++i) {
                TRGBQuad& q = colors[static_cast<size_t>(i)];
                q.rgbBlue = in.U8(), q.rgbGreen = in.U8(), q.rgbRed = in.U8(), q.rgbReserved = in.U8();
            }
        int64_t remaining = static_cast<int64_t>(in.Remaining());
        if (int64_t(layerCount) * MinLayerBytes > remaining)
            Damaged(u8"レイヤー数");
        // Every layer needs at least its block's rows or tile table. A frame
        // without layers holds no data; the pixel budget bounds it.
        int64_t minBlock = MinBlockBytes(w, h, bits);
        if (minBlock > 0 && int64_t(layerCount) * minBlock > remaining)
            Damaged(u8"画像の大きさ");

        TDIBSurface& surface = frame.Surface;
        int32_t depth = StorageDepth(bits);
        SizeTarget(surface, w, h, bits, depth >= 8);
        if (depth >= 8)
            ZeroRowPadding(surface);
        if (bits <= 8) {
            surface.ColorTable = colors;
            surface.ApplyColorTable();
        }
        if (frame.TransparentIndex >= 0) {
            uint32_t v = static_cast<uint32_t>(frame.TransparentIndex);
            v &= depth == 1 ? 1u : depth == 4 ? 0xFu : depth == 8 ? 0xFFu : depth == 16 ? 0xFFFFu : depth == 24 ? 0xFFFFFFu : ~0u;
            frame.TransparentColor = static_cast<int32_t>(surface.Canvas().ColorOfValue(v));
        } else {
            frame.TransparentColor = -1;
        }
        // The background fill waits until something would show it: a plain
        // copy of a whole layer covers every pixel and makes it unnecessary.
        bool fillPending = true;
        auto flushFill = [&] {
            if (fillPending) {
                surface.Canvas().Brush.Color = list.BackgroundColor;
                surface.Canvas().FillRect(surface.FullRect());
                fillPending = false;
            }
        };
        bool firstDrawn = true;
        for (int32_t i = 0; i < layerCount; ++i) {
            TGaleLayer& layer = frame.AddLayer();
            ReadLayer(frame, layer, frameIndex, i, w, h, bits);
            if (!layer.Visible)
                continue;
            TDIBSurface& ls = layer.Surface;
            bool alpha = ls.HasMask() && layer.UseAlpha;
            if (alpha && i == 0)
                surface.CopyMaskFrom(*ls.Mask());
            if (alpha && i > 0) {
                flushFill();
                surface.BlitAlpha(0, 0, ls.FullRect(), ls);
            } else if ((layer.KeyColor < 0 || (firstDrawn && list.OpaqueBottomLayer)) && layer.Opacity >= 255) {
                fillPending = false;
                // The last layer of the last frame is never read from again:
                // its pixels can become the frame's instead of being copied.
                if (lastFrame && i == layerCount - 1 && surface.ClipBounds.IsEmpty())
                    surface.SwapPixels(ls);
                else
                    surface.Blit(0, 0, ls);
            } else {
                flushFill();
                surface.BlitTranslucent(0, 0, ls.FullRect(), layer.Opacity, layer.KeyColor, ls);
            }
            firstDrawn = false;
        }
        flushFill();
        if (formatVersion >= 104) {
            ReadRecords(frame.RecordsA);
            ReadRecords(frame.RecordsB);
        }
    }

    void ReadRecords(std::vector<TGaleRecord>& records)
    {
        int32_t count = in.I32();
        if (count < 0)
            return;
        if (int64_t(count) * 16 > static_cast<int64_t>(in.Remaining()))
            ThrowReadError();
        records.resize(static_cast<size_t>(count));
        for (TGaleRecord& r : records)
            in.Read(r.data(), r.size());
    }

    void Load()
    {
        ReadHeader();
        try {
            for (int32_t f = 0; f < framesToRead; ++f) {
                list.frames_.push_back(std::make_unique<TGaleFrame>(&list));
                TGaleFrame& frame = *list.frames_.back();
                try {
                    ReadFrame(frame, f, f == framesToRead - 1);
                } catch (...) {
                    // A frame cut short is not kept half composed.
                    list.frames_.pop_back();
                    throw;
                }
                if (list.ConvertBitCount > 0 && (frame.HasMask() || frame.TransparentColor < 0))
                    ConvertFrame(frame);
            }
        } catch (...) {
            FreeLayers();
            throw;
        }
        FreeLayers();
    }

    void ConvertFrame(TGaleFrame& frame) { frame.Surface.ConvertDepth(list.ConvertBitCount, 0, 1); }

    void FreeLayers()
    {
        for (auto& f : list.frames_)
            f->ClearLayers();
    }
};

size_t TGaleFrameList::LoadFromBytes(std::string_view bytes, bool firstFrameOnly)
{
    Clear();
    GaleLoader loader { *this, ByteReader(bytes), firstFrameOnly };
    loader.Load();
    return loader.in.Position();
}

void TGaleFrameList::LoadFromStream(TStream& stream, bool firstFrameOnly)
{
    int32_t start = stream.GetPosition();
    int32_t size = stream.GetSize();
    size_t used;
    if (start > size)
        start = size;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
        // Read in place: the installer hands over the image in a memory stream.
        const char* data = reinterpret_cast<const char*>(memory->Memory());
        used = LoadFromBytes(std::string_view(data + start, static_cast<size_t>(size - start)), firstFrameOnly);
    } else {
        std::string bytes(static_cast<size_t>(size > start ? size - start : 0), '\0');
        int32_t got = stream.Read(bytes.data(), static_cast<int32_t>(bytes.size()));
        bytes.resize(static_cast<size_t>(got > 0 ? got : 0));
        try {
            used = LoadFromBytes(bytes, firstFrameOnly);
        } catch (...) {
            stream.SetPosition(start);
            throw;
        }
    }
    stream.SetPosition(start + static_cast<int32_t>(used));
}

} // namespace tarn
