// Seeds in every variant the writer makes: no magic and versions 100 to 106,
// rows in order and permuted, tiles with literal and repeated entries,
// scrambled tables, masks, several layers and frames, every depth.
#include "fuzz_support.h"
#include "graphics/gale_writer.h"

namespace tarn::fuzz {

void WriteSeeds(const AnsiString& dir)
{
    const int32_t seed = 0x5EED;
    struct Variant {
        const char* name;
        int32_t version;
        bool scramble;
        int32_t tile;
    } variants[] = {
        { "v000", 0, false, 0 },       { "v100", 100, false, 0 },     { "v101", 101, false, 0 },     { "v102", 102, false, 0 },
        { "v103rows", 103, false, 0 }, { "v103perm", 103, true, 0 },  { "v103tile", 103, false, 8 }, { "v104tile", 104, true, 8 },
        { "v105tile", 105, true, 16 }, { "v106rows", 106, false, 0 },
    };
    uint32_t noise = 12345;
    auto next = [&] { return noise = noise * 1103515245u + 12345u, noise >> 8; };
    for (const Variant& v : variants)
        for (int32_t bits : { 1, 4, 8, 15, 16, 24, 32 }) {
            TDIBSurface a, b;
            a.Resize(17, 9, bits);
            for (int32_t y = 0; y < 9; ++y)
                for (int32_t x = 0; x < 17; ++x)
                    a.SetPixel(x, y, (x / 8 + y) % 2 ? next() : 5);
            for (int i = 0; i < 16; ++i)
                a.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i * 16), 0, static_cast<uint8_t>(255 - i * 16), 0 };
            b.AssignSurface(a);
            b.SetPixel(3, 3, next());
            if (v.version >= 100) {
                b.NeedMask();
                b.Mask()->FillValue(b.Mask()->FullRect(), 0x90);
            }
            std::vector<TGaleWriterFrame> frames { TGaleWriterFrame::OfSurface(a), TGaleWriterFrame::OfSurface(b) };
            if (v.version < 101)
                frames[1].Layers[0].UseAlpha = 0;
            frames[0].TransparentIndex = 3;
            // A second, translucent keyed layer over frame 0.
            TGaleWriterLayer extra;
            extra.Surface = &a;
            extra.KeyColor = 5;
            extra.Opacity = 100;
            frames[0].Layers.push_back(extra);
            if (v.version >= 104)
                frames[1].RecordsA.push_back(TGaleRecord { 1, 2, 3, 4 });
            TGaleWriterOptions o;
            o.Version = v.version;
            o.Seed = seed;
            o.Scramble = v.scramble;
            o.TileWidth = o.TileHeight = v.tile;
            o.BackgroundColor = v.version >= 102 ? 0x336699 : 0;
            o.OpaqueBottomLayer = v.version >= 105;
            SaveSeed(dir, std::string(v.name) + "_" + std::to_string(bits) + ".gal", WriteGale(frames, o));
        }
}

} // namespace tarn::fuzz
