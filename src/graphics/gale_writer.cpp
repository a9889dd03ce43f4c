#include "graphics/gale_writer.h"

#include <cstring>
#include <unordered_map>

#include "base/byte_reader.h"
#include "base/codepage.h"
#include "graphics/graphics_messages.h"
#include "graphics/pool_order.h"

namespace tarn {

TGaleWriterFrame TGaleWriterFrame::OfSurface(const TDIBSurface& surface)
{
    TGaleWriterFrame f;
    f.Width = surface.Width();
    f.Height = surface.Height();
    f.BitCount = surface.EffectiveDepth();
    f.Colors = surface.ColorTable;
    TGaleWriterLayer layer;
    layer.Surface = &surface;
    layer.UseAlpha = surface.HasMask() ? 1 : 0;
    f.Layers.push_back(layer);
    return f;
}

namespace {

[[noreturn]] void Refuse(std::u8string_view what) { throw EGraphicError(msg::GaleWriter, { Sjis(what) }); }

int32_t StorageDepth(int32_t bitCount) { return bitCount == 15 ? 16 : bitCount; }

uint64_t HashBytes(const uint8_t* p, size_t n, uint64_t h)
{
    for (size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

struct GaleWriter {
    const std::vector<TGaleWriterFrame>& frames;
    const TGaleWriterOptions& o;
    int32_t format = 0;
    ByteWriter out;

    bool Tiled() const { return format >= 103 && o.TileWidth > 0 && o.TileHeight > 0; }

    void Name(const AnsiString& name)
    {
        out.I32(static_cast<int32_t>(name.size()));
        out.Bytes(name);
    }

    // Bytes of the w x h rectangle at (x, y) equal in a and b (same depth).
    static bool SameRect(const TDIBSurface& a, int32_t ax, int32_t ay, const TDIBSurface& b, int32_t bx, int32_t by, int32_t w, int32_t h,
                         int32_t depth)
    {
        size_t bytes = (static_cast<size_t>(w) * static_cast<size_t>(depth) + 7) / 8;
        size_t ao = static_cast<size_t>(ax) * static_cast<size_t>(depth) / 8, bo = static_cast<size_t>(bx) * static_cast<size_t>(depth) / 8;
        for (int32_t r = 0; r < h; ++r)
            if (std::memcmp(a.RowAddress(ay + r) + ao, b.RowAddress(by + r) + bo, bytes) != 0)
                return false;
        return true;
    }

    std::string Block(const TDIBSurface& s, int32_t bits, bool isMask, size_t frameIndex, size_t layerIndex)
    {
        ByteWriter b;
        int32_t depth = StorageDepth(bits);
        int32_t w = s.Width(), h = s.Height();
        if (s.Empty())
            return {};
        if (!Tiled()) {
            bool permuted = format < 103 || o.Scramble;
            std::vector<int32_t> order = permuted ? PoolOrder(o.Seed, h) : std::vector<int32_t>();
            for (int32_t k = 0; k < h; ++k)
                b.Bytes(s.RowAddress(permuted ? order[static_cast<size_t>(k)] : k), static_cast<size_t>(s.Stride()));
            return b.Data();
        }
        int32_t tw = o.TileWidth, th = o.TileHeight;
        int32_t TX = (w + tw - 1) / tw, TY = (h + th - 1) / th, N = TX * TY;
        struct Entry {
            int32_t source, index;
        };
        std::vector<Entry> table(static_cast<size_t>(N));
        ByteWriter literals;
        std::unordered_map<uint64_t, std::vector<int32_t>> seen;
        size_t tileRowBytes = (static_cast<size_t>(tw) * static_cast<size_t>(depth) + 7) / 8;
        for (int32_t k = 0; k < N; ++k) {
            int32_t tx = k % TX, ty = k / TX, x = tx * tw, y = ty * th;
            int32_t cw = std::min(tw, w - x), ch = std::min(th, h - y);
            size_t rowBytes = (static_cast<size_t>(cw) * static_cast<size_t>(depth) + 7) / 8;
            Entry e { -1, 0 };
            uint64_t hash = 0xCBF29CE484222325ull ^ (uint64_t(uint32_t(cw)) << 32 | uint32_t(ch));
            for (int32_t r = 0; r < ch; ++r)
                hash = HashBytes(s.RowAddress(y + r) + static_cast<size_t>(x) * static_cast<size_t>(depth) / 8, rowBytes, hash);
            if (o.RepeatTiles) {
                for (int32_t j : seen[hash]) {
                    int32_t sx = (j % TX) * tw, sy = (j / TX) * th;
                    if (sx + cw <= w && sy + ch <= h && SameRect(s, sx, sy, s, x, y, cw, ch, depth)) {
                        e = { -2, j };
                        break;
                    }
                }
                for (size_t f = 0; e.source == -1 && f <= frameIndex; ++f) {
                    const TGaleWriterFrame& frame = frames[f];
                    size_t layers = f == frameIndex ? layerIndex : frame.Layers.size();
                    for (size_t l = 0; l < layers; ++l) {
                        const TDIBSurface* other = frame.Layers[l].Surface;
                        if (isMask)
                            other = other->Mask();
                        if (!other || other->BitDepth() != s.BitDepth() || other->GreenMask() != s.GreenMask() || x + cw > other->Width() ||
                            y + ch > other->Height())
                            continue;
                        if (isMask && format < 100)
                            continue;
                        if (SameRect(*other, x, y, s, x, y, cw, ch, depth)) {
                            e = { static_cast<int32_t>(f), static_cast<int32_t>(l) };
                            break;
                        }
                    }
                }
            }
            if (e.source == -1) {
                size_t offset = static_cast<size_t>(tx) * tileRowBytes;
                for (int32_t r = 0; r < ch; ++r)
                    literals.Bytes(s.RowAddress(y + r) + offset, rowBytes);
            }
            seen[hash].push_back(k);
            table[static_cast<size_t>(k)] = e;
        }
        std::vector<int32_t> order = o.Scramble ? PoolOrder(o.Seed, N) : std::vector<int32_t>();
        for (int32_t k = 0; k < N; ++k) {
            const Entry& e = table[static_cast<size_t>(o.Scramble ? order[static_cast<size_t>(k)] : k)];
            b.I32(e.source);
            b.I32(e.index);
        }
        b.Bytes(literals.Data());
        return b.Data();
    }

    void Check()
    {
        if (o.Version < 0 || o.Version > 999)
            Refuse(u8"バージョンは 0 から 999 までです");
        if (!Tiled() && (o.TileWidth > 0 || o.TileHeight > 0) && (o.TileWidth <= 0 || o.TileHeight <= 0))
            Refuse(u8"タイルの幅と高さは両方とも正の値です");
        if ((o.TileWidth > 0 || o.Scramble) && format < 103)
            Refuse(u8"タイルと並べ替えはバージョン 103 以降です");
        if (o.Version < 103 && o.Version != format)
            Refuse(u8"バージョン 103 より前のファイルの書式バージョンはマジックのバージョンです");
        if (o.BackgroundColor != 0 && o.Version < 102)
            Refuse(u8"背景色はバージョン 102 以降です");
        if (o.OpaqueBottomLayer && o.Version < 105)
            Refuse(u8"不透明な最下層のフラグはバージョン 105 以降です");
        for (const TGaleWriterFrame& f : frames) {
            int32_t b = f.BitCount;
            if (b != 1 && b != 4 && b != 8 && b != 15 && b != 16 && b != 24 && b != 32)
                throw EGraphicError(msg::BadBitCount, { b });
            if (Tiled() && (int64_t(o.TileWidth) * StorageDepth(b)) % 8 != 0)
                Refuse(u8"タイルの幅がバイト境界に揃いません");
            if ((!f.RecordsA.empty() || !f.RecordsB.empty()) && format < 104)
                Refuse(u8"レコードはバージョン 104 以降です");
            for (const TGaleWriterLayer& l : f.Layers) {
                const TDIBSurface* s = l.Surface;
                int32_t w = f.Width > 0 && f.Height > 0 ? f.Width : 0, h = w ? f.Height : 0;
                if (!s || s->Width() != w || s->Height() != h || (w && s->EffectiveDepth() != b))
                    Refuse(u8"レイヤーの大きさか色数がフレームと違います");
                if (s->HasMask() && format < 100)
                    Refuse(u8"マスクはバージョン 100 以降です");
                if (l.UseAlpha && format < 101)
                    Refuse(u8"アルファの使用はバージョン 101 以降です");
            }
        }
    }

    std::string Write()
    {
        format = o.Version >= 103 ? (o.FormatVersion >= 0 ? o.FormatVersion : o.Version) : o.Version;
        Check();
        if (o.Version > 0) {
            out.Bytes("Gale");
            out.U8(static_cast<uint8_t>('0' + o.Version / 100));
            out.U8(static_cast<uint8_t>('0' + o.Version / 10 % 10));
            out.U8(static_cast<uint8_t>('0' + o.Version % 10));
        }
        int32_t count = static_cast<int32_t>(frames.size());
        if (o.Version < 103) {
            out.I32(count);
            out.U8(0);
            if (o.Version >= 102)
                out.U32(o.BackgroundColor);
        } else {
            ByteWriter r;
            r.I32(format);
            r.Bytes(std::string(12, '\0'));
            r.I32(count);
            r.U8(0);
            r.U8(o.Scramble ? 1 : 0);
            r.U16(0);
            r.U32(o.BackgroundColor);
            r.I32(o.TileWidth);
            r.I32(o.TileHeight);
            r.U8(o.OpaqueBottomLayer ? 1 : 0);
            r.Bytes(std::string(3, '\0'));
            std::string record = r.Data();
            record.resize(static_cast<size_t>(o.HeaderSize > 0 ? o.HeaderSize : 0), '\0');
            out.I32(o.HeaderSize);
            out.Bytes(record);
        }
        for (size_t fi = 0; fi < frames.size(); ++fi) {
            const TGaleWriterFrame& f = frames[fi];
            Name(f.Name);
            out.I32(f.TransparentIndex);
            out.I32(f.FrameValue);
            out.U8(0);
            out.U32(0);
            out.I32(static_cast<int32_t>(f.Layers.size()));
            out.I32(f.Width);
            out.I32(f.Height);
            out.I32(f.BitCount);
            if (f.BitCount <= 8)
                for (int32_t i = 0; i < (1 << f.BitCount); ++i) {
                    const TRGBQuad& q = f.Colors[static_cast<size_t>(i)];
                    out.U8(q.rgbBlue), out.U8(q.rgbGreen), out.U8(q.rgbRed), out.U8(q.rgbReserved);
                }
            for (size_t li = 0; li < f.Layers.size(); ++li) {
                const TGaleWriterLayer& l = f.Layers[li];
                out.Bytes(std::string(8, '\0'));
                out.U8(l.Visible);
                out.I32(l.KeyColor);
                out.I32(l.Opacity);
                if (format >= 101)
                    out.U8(l.UseAlpha);
                Name(l.Name);
                std::string block = Block(*l.Surface, f.BitCount, false, fi, li);
                out.I32(static_cast<int32_t>(block.size()));
                out.Bytes(block);
                if (format >= 100) {
                    std::string mask = l.Surface->HasMask() ? Block(*l.Surface->Mask(), 8, true, fi, li) : std::string();
                    out.I32(static_cast<int32_t>(mask.size()));
                    out.Bytes(mask);
                }
            }
            if (format >= 104) {
                for (const auto* records : { &f.RecordsA, &f.RecordsB }) {
                    out.I32(static_cast<int32_t>(records->size()));
                    for (const TGaleRecord& r : *records)
                        out.Bytes(r.data(), r.size());
                }
            }
        }
        return out.Data();
    }
};

} // namespace

std::string WriteGale(const std::vector<TGaleWriterFrame>& frames, const TGaleWriterOptions& options)
{
    GaleWriter w { frames, options, 0, {} };
    return w.Write();
}

} // namespace tarn
