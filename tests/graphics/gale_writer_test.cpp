// The writer against the reader: every variant the reader accepts comes back
// as it went in.
#include <random>

#include "graphics/gale_writer.h"
#include "support/surface_pixels.h"
#include "support/test_support.h"

using tarn::test::Pixels;

using namespace tarn;

namespace {

// A picture with repeated blocks (so that tiles repeat) and random parts.
void Paint(TDIBSurface& s, std::mt19937& rng, bool repeats)
{
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x)
            s.SetPixel(x, y, repeats && (x / 4 + y / 4) % 2 == 0 ? 0x1234567u * static_cast<uint32_t>((x % 4) + 4 * (y % 4)) : rng());
}

struct Variant {
    int32_t version, format;
    bool scramble;
    int32_t tileW, tileH;
};

TEST(GaleWriter, EveryVariantRoundTrips)
{
    std::mt19937 rng(99);
    const Variant variants[] = {
        { 0, 0, false, 0, 0 },     { 100, 100, false, 0, 0 }, { 101, 101, false, 0, 0 }, { 102, 102, false, 0, 0 },
        { 103, 103, false, 0, 0 }, { 103, 103, true, 0, 0 },  { 103, 103, false, 8, 4 }, { 104, 104, true, 8, 8 },
        { 105, 105, true, 16, 3 }, { 106, 106, false, 8, 5 }, { 106, 102, false, 0, 0 },
    };
    for (const Variant& v : variants)
        for (int32_t bits : { 1, 4, 8, 15, 16, 24, 32 }) {
            SCOPED_TRACE(testing::Message() << "version " << v.version << " format " << v.format << " bits " << bits << " tiles " << v.tileW);
            // Frame 0 of 19 x 13, frame 1 repeating most of frame 0 (tiles from an earlier frame).
            TDIBSurface a, b;
            a.Resize(19, 13, bits);
            Paint(a, rng, true);
            b.AssignSurface(a);
            for (int32_t x = 0; x < 5; ++x)
                b.SetPixel(x, 12, rng());
            if (bits <= 8)
                for (int i = 0; i < 256; ++i)
                    a.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2), 0 };
            if (v.format >= 100) {
                a.NeedMask();
                Paint(*a.Mask(), rng, true);
                b.NeedMask();
                b.Mask()->AssignSurface(*a.Mask());
            }
            std::vector<TGaleWriterFrame> frames { TGaleWriterFrame::OfSurface(a), TGaleWriterFrame::OfSurface(b) };
            for (TGaleWriterFrame& f : frames) {
                f.Name = "frame";
                f.TransparentIndex = 1;
                f.Layers[0].UseAlpha = v.format >= 101 && bits != 8 ? 1 : 0;
                f.Layers[0].Name = "layer";
                if (v.format >= 104)
                    f.RecordsA.push_back(TGaleRecord { 1, 2, 3 });
            }
            TGaleWriterOptions o;
            o.Version = v.version;
            o.FormatVersion = v.format;
            o.Seed = static_cast<int32_t>(rng());
            o.Scramble = v.scramble;
            o.TileWidth = v.tileW, o.TileHeight = v.tileH;
            o.BackgroundColor = v.version >= 102 ? 0x00FF00 : 0;
            std::string bytes = WriteGale(frames, o);
            TGaleFrameList list(o.Seed);
            ASSERT_EQ(list.LoadFromBytes(bytes, false), bytes.size());
            EXPECT_EQ(list.Version, v.version);
            EXPECT_EQ(list.FormatVersion, v.format);
            ASSERT_EQ(list.Count(), 2);
            for (int i = 0; i < 2; ++i) {
                const TDIBSurface& in = i ? b : a;
                const TGaleFrame& out = list.Frames(i);
                EXPECT_EQ(out.Surface.EffectiveDepth(), bits);
                EXPECT_EQ(Pixels(out.Surface), Pixels(in)) << "frame " << i;
                EXPECT_EQ(out.HasMask(), frames[0].Layers[0].UseAlpha != 0);
                if (out.HasMask()) {
                    EXPECT_EQ(Pixels(*out.Surface.Mask()), Pixels(*in.Mask()));
                }
                EXPECT_EQ(out.RecordsA.size(), v.format >= 104 ? 1u : 0u);
            }
            if (bits <= 8) {
                for (int i = 0; i < (1 << bits); ++i)
                    EXPECT_EQ(list.Frames(0).Surface.Palette()[static_cast<size_t>(i)], a.ColorTable[static_cast<size_t>(i)]);
            }
            // A different seed puts permuted rows elsewhere (a table of equal
            // literal entries reads the same in any order).
            if (v.format < 103 || (v.scramble && v.tileW == 0)) {
                TGaleFrameList other(o.Seed + 1);
                other.LoadFromBytes(bytes, false);
                EXPECT_NE(Pixels(other.Frames(0).Surface), Pixels(a));
            }
        }
}

TEST(GaleWriter, RepeatedTilesShrinkTheFile)
{
    TDIBSurface s;
    s.Resize(64, 64, 24);
    s.FillValue(s.FullRect(), 0x102030);
    s.SetPixel(63, 63, 1);
    std::vector<TGaleWriterFrame> frames { TGaleWriterFrame::OfSurface(s), TGaleWriterFrame::OfSurface(s) };
    TGaleWriterOptions o;
    o.TileWidth = 16, o.TileHeight = 16;
    std::string repeated = WriteGale(frames, o);
    o.RepeatTiles = false;
    std::string literal = WriteGale(frames, o);
    // 16 tiles per frame: two literal tiles in the first frame, none in the second.
    EXPECT_EQ(literal.size() - repeated.size(), static_cast<size_t>(14 + 16) * 16 * 16 * 3);
    for (const std::string& bytes : { repeated, literal }) {
        TGaleFrameList list(0);
        list.LoadFromBytes(bytes, false);
        EXPECT_EQ(Pixels(list.Frames(1).Surface), Pixels(s));
    }
}

TEST(GaleWriter, RefusesWhatTheVersionCannotHold)
{
    TDIBSurface s;
    s.Resize(3, 3, 4);
    s.NeedMask();
    std::vector<TGaleWriterFrame> frames { TGaleWriterFrame::OfSurface(s) };
    TGaleWriterOptions o;
    o.Version = 0;
    EXPECT_THROW(WriteGale(frames, o), EGraphicError); // a mask before version 100
    frames[0].Layers[0].UseAlpha = 0;
    o.Version = 100;
    o.TileWidth = o.TileHeight = 2;
    EXPECT_THROW(WriteGale(frames, o), EGraphicError); // tiles before version 103
    o.Version = 103;
    o.TileWidth = 3;
    EXPECT_THROW(WriteGale(frames, o), EGraphicError); // 3 x 4 bits is no whole byte
    o.TileWidth = 2;
    EXPECT_NO_THROW(WriteGale(frames, o));
    frames[0].Width = 4;
    EXPECT_THROW(WriteGale(frames, o), EGraphicError); // the layer does not fit the frame
}

} // namespace
