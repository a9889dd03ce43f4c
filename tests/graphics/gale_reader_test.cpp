// The reader on files assembled here field by field from the format's tables,
// with the expected pixels worked out by hand.
#include <string>

#include "archive/tp_random.h"
#include "base/stream.h"
#include "graphics/gale.h"
#include "graphics/pool_order.h"
#include "support/surface_pixels.h"
#include "support/test_support.h"

using tarn::test::Pixels;

using namespace tarn;

namespace {

// Little-endian fields, independent of the project's writer.
struct Bytes {
    std::string b;
    Bytes& U8(int v) { b += static_cast<char>(v); return *this; }
    Bytes& I32(int64_t v)
    {
        for (int i = 0; i < 4; ++i)
            b += static_cast<char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes& Raw(std::string_view s) { b += s; return *this; }
    Bytes& Hex(std::string_view h) { b += test::Hex(h); return *this; }
    Bytes& Zeros(size_t n) { b += std::string(n, '\0'); return *this; }
    Bytes& Block(const std::string& data) { I32(static_cast<int64_t>(data.size())); b += data; return *this; }
};

// Frame fields up to the bit count: name, transparent index, value, 5 skipped bytes, layers, size, bits.
Bytes& FrameHead(Bytes& f, int32_t transparent, int32_t layers, int32_t w, int32_t h, int32_t bits, std::string_view name = "")
{
    f.I32(static_cast<int64_t>(name.size())).Raw(name).I32(transparent).I32(77).Zeros(5).I32(layers).I32(w).I32(h).I32(bits);
    return f;
}

// Layer fields up to the name: 8 skipped bytes, visible, key, opacity, [use-alpha].
Bytes& LayerHead(Bytes& f, int visible, int32_t key, int32_t opacity, int useAlpha /* -1: not stored */)
{
    f.Zeros(8).U8(visible).I32(key).I32(opacity);
    if (useAlpha >= 0)
        f.U8(useAlpha);
    f.I32(3).Raw("lyr");
    return f;
}

// A grey colour table of 2^bits entries: entry i = (i, i, i).
Bytes& GreyTable(Bytes& f, int bits)
{
    for (int i = 0; i < (1 << bits); ++i)
        f.U8(i).U8(i).U8(i).U8(0);
    return f;
}

TGaleFrameList Load(const std::string& bytes, int32_t seed, bool first = false)
{
    TGaleFrameList list(seed);
    TMemoryStream m;
    m.Assign(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    list.LoadFromStream(m, first);
    EXPECT_EQ(m.GetPosition(), m.GetSize());
    return list;
}

TEST(GalePool, OrderMatchesTheGenerator)
{
    // Worked by hand for seed 1: states 1, 6, 31, 156, 781, 3906 over a pool of 6.
    EXPECT_EQ(PoolOrder(1, 6), (std::vector<int32_t> { 1, 2, 5, 0, 4, 3 }));
    for (int32_t seed : { 0, 1, 7, -1, 123456789, INT32_MIN })
        for (int32_t n : { 0, 1, 2, 3, 17, 300 }) {
            TTpRandom r(seed);
            r.ResetPool(n);
            std::vector<int32_t> slow;
            for (int32_t i = 0; i < n; ++i)
                slow.push_back(r.DrawFromPool());
            EXPECT_EQ(PoolOrder(seed, n), slow) << seed << " " << n;
        }
}

// No magic: version 0, rows permuted with the seed, no mask field, no use-alpha.
TEST(GaleReader, NoMagicPermutedRows)
{
    Bytes f;
    f.I32(1).U8(0xEE); // frame count, ignored byte
    FrameHead(f, -1, 1, 2, 3, 8, "frame");
    GreyTable(f, 8);
    LayerHead(f, 1, -1, 255, -1);
    // Stored rows 0, 1, 2 (2 pixels + 2 padding bytes each). Seed 1 over 3 rows:
    // state 1 -> index 1 (row 1), state 6 -> index 0 of {0, 2} (row 0), state 31 -> row 2.
    f.Block(test::Hex("0a 0b 00 00  14 15 00 00  1e 1f 00 00"));
    TGaleFrameList list = Load(f.b, 1);
    EXPECT_EQ(list.Version, 0);
    ASSERT_EQ(list.Count(), 1);
    const TGaleFrame& frame = list.Frames(0);
    EXPECT_EQ(frame.FrameValue, 77);
    EXPECT_EQ(frame.Surface.BitDepth(), 8);
    EXPECT_EQ(Pixels(frame.Surface), (std::vector<uint32_t> { 0x14, 0x15, 0x0a, 0x0b, 0x1e, 0x1f }));
    EXPECT_EQ(frame.Surface.Palette()[0x15], (TRGBQuad { 0x15, 0x15, 0x15, 0 }));
    EXPECT_EQ(frame.TransparentColor, -1);
    EXPECT_EQ(frame.LayerCount(), 0); // layers are freed after loading
    EXPECT_EQ(frame.List, &list);
    EXPECT_FALSE(frame.HasMask());
    EXPECT_THROW(list.Frames(1), EListError);
}

// Version 100: rows always permuted; a mask block makes the key -1, so a layer
// with key 5 and opacity 255 is copied plainly instead of keyed.
TEST(GaleReader, Version100MaskClearsTheKey)
{
    Bytes f;
    f.Raw("Gale100").I32(1).U8(0);
    FrameHead(f, 0x000005, 1, 1, 2, 24);
    LayerHead(f, 1, 5, 255, -1);
    // Seed 1 over 2 rows: state 1 -> row 1, state 6 -> row 0.
    f.Block(test::Hex("05 00 00 00  01 02 03 00")); // stored row 0 holds 0x000005
    f.Block(test::Hex("40 00 00 00  80 00 00 00"));  // mask rows, permuted the same way
    TGaleFrameList list = Load(f.b, 1);
    EXPECT_EQ(list.Version, 100);
    const TGaleFrame& frame = list.Frames(0);
    EXPECT_EQ(Pixels(frame.Surface), (std::vector<uint32_t> { 0x030201, 0x000005 }));
    EXPECT_EQ(frame.TransparentColor, 0x050000); // pixel 0x000005 is blue 5 as a colour
    EXPECT_FALSE(frame.HasMask()); // no use-alpha flag before version 101
}

// Version 103, whole rows without the scramble flag: in order, whatever the seed;
// two layers, the second translucent; background from the header.
TEST(GaleReader, Version103RowsInOrder)
{
    Bytes f;
    f.Raw("Gale103").I32(40);
    f.I32(103).Zeros(12).I32(1).U8(0).U8(0).Zeros(2).I32(0x332211).I32(0).I32(0).U8(0).Zeros(3);
    FrameHead(f, -1, 2, 2, 2, 24);
    LayerHead(f, 1, -1, 255, 0);
    f.Block(test::Hex("0a 0a 0a  c8 c8 c8  00 00   64 64 64  00 00 00  00 00"));
    f.I32(0); // no mask
    LayerHead(f, 1, 0x0b0b0b, 128, 0);
    f.Block(test::Hex("0b 0b 0b  0a 0a 0a  00 00   ff ff ff  00 ff 00  00 00"));
    f.I32(0);
    TGaleFrameList list = Load(f.b, 999);
    EXPECT_EQ(list.FormatVersion, 103);
    EXPECT_EQ(list.BackgroundColor, 0x332211u);
    // Layer 0 copied; layer 1 at 128 skips the key 0x0b0b0b and blends the rest:
    // (127 x 200 + 128 x 10) div 255 = 104 (0x68); (127 x 100 + 128 x 255) div 255 = 177 (0xb1);
    // (127 x 0 + 128 x 255) div 255 = 128.
    EXPECT_EQ(Pixels(list.Frames(0).Surface), (std::vector<uint32_t> { 0x0a0a0a, 0x686868, 0xb1b1b1, 0x008000 }));
}

// Version 103 tiles, 2 x 2 over a 5 x 3 picture (3 x 2 tiles, the last column
// and row clipped), with a scrambled tile table and repeats within the picture.
TEST(GaleReader, Version103ScrambledTiles)
{
    Bytes f;
    f.Raw("Gale103").I32(40);
    f.I32(103).Zeros(12).I32(1).U8(0).U8(1).Zeros(2).I32(0).I32(2).I32(2).U8(0).Zeros(3);
    FrameHead(f, -1, 1, 5, 3, 8);
    GreyTable(f, 8);
    LayerHead(f, 1, -1, 255, 1);
    // Table in tile order: 0 literal, 1 literal, 2 literal (1 wide), 3 repeats tile 0
    // (its top 2 x 1), 4 literal (2 x 1), 5 repeats tile 2 (its top 1 x 1).
    struct E {
        int32_t s, i;
    } table[6] = { { -1, 0 }, { -1, 0 }, { -1, 0 }, { -2, 0 }, { -1, 0 }, { -2, 2 } };
    // Seed 1 over 6 entries draws 1, 2, 5, 0, 4, 3: stored entry k is entry P(k).
    int order[6] = { 1, 2, 5, 0, 4, 3 };
    Bytes block;
    for (int k = 0; k < 6; ++k)
        block.I32(table[order[k]].s).I32(table[order[k]].i);
    block.Hex("01 02  06 07"); // tile 0: rows of 2 bytes
    block.Hex("03 04  08 09"); // tile 1
    block.Hex("05  0a");       // tile 2: 1 pixel per row, at byte 2 x 2 = 4
    block.Hex("0d 0e");        // tile 4: one row
    f.Block(block.b);
    f.I32(0);
    TGaleFrameList list = Load(f.b, 1);
    EXPECT_TRUE(list.Scrambled);
    EXPECT_EQ(Pixels(list.Frames(0).Surface), (std::vector<uint32_t> { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 13, 14, 5 }));
}

// Version 105: a 44-byte header (the last 4 bytes skipped), the opaque-bottom
// flag (the keyed bottom layer is copied plainly), records A and B.
TEST(GaleReader, Version105OpaqueBottomAndRecords)
{
    Bytes f;
    f.Raw("Gale105").I32(44);
    f.I32(105).Zeros(12).I32(1).U8(0).U8(0).Zeros(2).I32(0).I32(0).I32(0).U8(1).Zeros(3).Hex("de ad be ef");
    FrameHead(f, 3, 2, 2, 1, 4);
    GreyTable(f, 4);
    LayerHead(f, 0, -1, 255, 0); // invisible: leaves the first-drawn flag alone
    f.Block(test::Hex("77 00 00 00"));
    f.I32(0);
    LayerHead(f, 1, 3, 255, 0);
    f.Block(test::Hex("35 00 00 00")); // pixels 3 and 5
    f.I32(0);
    f.I32(1).Hex("00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f"); // RecordsA
    f.I32(-1);                                                       // RecordsB: none, but read
    TGaleFrameList list = Load(f.b, 0);
    EXPECT_TRUE(list.OpaqueBottomLayer);
    const TGaleFrame& frame = list.Frames(0);
    EXPECT_EQ(Pixels(frame.Surface), (std::vector<uint32_t> { 3, 5 }));
    EXPECT_EQ(frame.TransparentColor, 0x030303);
    ASSERT_EQ(frame.RecordsA.size(), 1u);
    EXPECT_EQ(frame.RecordsA[0][15], 0x0f);
    EXPECT_TRUE(frame.RecordsB.empty());
}

// A masked layer 0 with use-alpha: the frame takes its mask and its pixels are
// copied; a masked layer 1 with use-alpha is blended through its mask.
TEST(GaleReader, UseAlphaLayers)
{
    Bytes f;
    f.Raw("Gale101").I32(1).U8(0);
    FrameHead(f, -1, 2, 1, 1, 32);
    LayerHead(f, 1, 9, 255, 1);
    f.Block(test::Hex("c8 c8 c8 11"));
    f.Block(test::Hex("90 00 00 00"));
    LayerHead(f, 1, -1, 255, 1);
    f.Block(test::Hex("0a 0a 0a 22"));
    f.Block(test::Hex("64 00 00 00")); // alpha 100: (155 x 200 + 100 x 10) >> 8 = 125
    TGaleFrameList list = Load(f.b, 0);
    const TGaleFrame& frame = list.Frames(0);
    ASSERT_TRUE(frame.HasMask());
    EXPECT_EQ(frame.Surface.Mask()->Pixel(0, 0), 0x90u);
    EXPECT_EQ(frame.Surface.Pixel(0, 0), 0x007d7d7du);
}

// Tiles of a later frame repeating an earlier frame's layer (and its mask).
TEST(GaleReader, TilesFromEarlierFrames)
{
    Bytes f;
    f.Raw("Gale104").I32(40);
    f.I32(104).Zeros(12).I32(2).U8(0).U8(0).Zeros(2).I32(0).I32(4).I32(1).U8(0).Zeros(3);
    FrameHead(f, -1, 1, 4, 1, 8);
    GreyTable(f, 8);
    LayerHead(f, 1, -1, 255, 0);
    f.Block(Bytes().I32(-1).I32(0).Hex("01 02 03 04").b);
    f.Block(Bytes().I32(-1).I32(0).Hex("10 20 30 40").b);
    f.I32(0).I32(0);
    FrameHead(f, -1, 1, 4, 1, 8);
    GreyTable(f, 8);
    LayerHead(f, 1, -1, 255, 0);
    f.Block(Bytes().I32(0).I32(0).b); // frame 0, layer 0
    f.Block(Bytes().I32(0).I32(0).b); // its mask
    f.I32(0).I32(0);
    TGaleFrameList list = Load(f.b, 0);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(Pixels(list.Frames(1).Surface), (std::vector<uint32_t> { 1, 2, 3, 4 }));
}

std::string FiveFrames()
{
    Bytes f;
    f.Raw("Gale102").I32(5).U8(0).I32(0x0000ff);
    for (int i = 0; i < 5; ++i) {
        FrameHead(f, -1, 0, 1, 1, 24); // no layers: the background shows
    }
    return f.b;
}

TEST(GaleReader, FirstFrameOnlyStopsAfterIt)
{
    std::string bytes = FiveFrames() + "tail";
    TMemoryStream m;
    m.Assign(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    TGaleFrameList list(0);
    list.LoadFromStream(m, true);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.HeaderFrameCount, 5);
    EXPECT_EQ(m.GetPosition(), 7 + 4 + 1 + 4 + 33); // magic, count, byte, colour, one frame
    EXPECT_EQ(list.Frames(0).Surface.Pixel(0, 0), 0xff0000u); // red background, stored blue-green-red
    m.SetPosition(0);
    list.LoadFromStream(m, false);
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(m.GetPosition(), static_cast<int32_t>(bytes.size()) - 4);
}

TEST(GaleReader, HostileHeadersAndTiles)
{
    auto fails = [](const std::string& bytes) {
        TGaleFrameList list(0);
        try {
            list.LoadFromBytes(bytes, false);
        } catch (const Exception& e) {
            return std::string(e.Message());
        }
        return std::string();
    };
    // A version that is no number.
    EXPECT_EQ(fails("Gale1x3" + std::string(20, '\0')), test::S(u8"'1x3' は整数ではありません"));
    // Counts and sizes the data cannot hold are refused before allocating.
    EXPECT_NE(fails(Bytes().I32(0x7fffffff).U8(0).b), "");
    Bytes big;
    big.Raw("Gale103").I32(40).I32(103).Zeros(12).I32(1).Zeros(20);
    FrameHead(big, -1, 1, 60000, 60000, 32);
    EXPECT_NE(fails(big.b), "");
    Bytes layers;
    layers.I32(1).U8(0);
    FrameHead(layers, -1, 1000000, 1, 1, 8);
    GreyTable(layers, 8);
    EXPECT_NE(fails(layers.b), "");
    EXPECT_EQ(fails(Bytes().I32(1).U8(0).I32(0).I32(-1).I32(0).Zeros(5).I32(0).I32(1).I32(1).I32(12).b),
              test::S(u8"不正なビット数です (12)"));

    // Tile references that point outside what exists.
    auto tiled = [](int32_t source, int32_t index, int32_t frameBits = 8, int32_t w2 = 2) {
        Bytes f;
        f.Raw("Gale103").I32(40).I32(103).Zeros(12).I32(2).U8(0).U8(0).Zeros(2).I32(0).I32(2).I32(1).U8(0).Zeros(3);
        FrameHead(f, -1, 1, 2, 1, 8);
        GreyTable(f, 8);
        LayerHead(f, 1, -1, 255, 0);
        f.Block(Bytes().I32(-1).I32(0).Hex("01 02").b);
        f.I32(0);
        FrameHead(f, -1, 1, w2, 1, frameBits);
        if (frameBits <= 8)
            GreyTable(f, frameBits);
        LayerHead(f, 1, -1, 255, 0);
        Bytes block;
        for (int32_t t = 0; t < (w2 + 1) / 2; ++t)
            block.I32(source).I32(index);
        f.Block(block.b);
        f.I32(0);
        return f.b;
    };
    EXPECT_EQ(fails(tiled(0, 0)), "");
    EXPECT_EQ(fails(tiled(5, 0)), test::S(u8"リストのインデックスが範囲を超えています (5)"));
    EXPECT_EQ(fails(tiled(0, 1)), test::S(u8"リストのインデックスが範囲を超えています (1)"));
    EXPECT_EQ(fails(tiled(-2, 1)), test::S(u8"Gale 画像のタイル参照が不正です (タイル 0)"));
    EXPECT_NE(fails(tiled(-2, -1)), "");
    EXPECT_NE(fails(tiled(-3, 0)), "");
    EXPECT_NE(fails(tiled(0, 0, 16)), "");   // another bit count
    EXPECT_NE(fails(tiled(0, 0, 8, 4)), ""); // the source picture is smaller
    EXPECT_NE(fails(tiled(0, 1, 8, 4)), "");
    // A mask tile from a layer without a mask.
    Bytes m;
    m.Raw("Gale103").I32(40).I32(103).Zeros(12).I32(1).U8(0).U8(0).Zeros(2).I32(0).I32(2).I32(1).U8(0).Zeros(3);
    FrameHead(m, -1, 2, 2, 1, 8);
    GreyTable(m, 8);
    LayerHead(m, 1, -1, 255, 0);
    m.Block(Bytes().I32(-1).I32(0).Hex("01 02").b).I32(0);
    LayerHead(m, 1, -1, 255, 0);
    m.Block(Bytes().I32(-1).I32(0).Hex("01 02").b).Block(Bytes().I32(0).I32(0).b);
    EXPECT_EQ(fails(m.b), test::S(u8"Gale 画像のタイル参照が不正です (タイル 0)"));
}

// Every truncation of small files of each variant fails with an error, and
// the frames read completely before the damage stay.
TEST(GaleReader, EveryTruncationFailsCleanly)
{
    std::vector<std::string> files;
    {
        Bytes f;
        f.I32(1).U8(0);
        FrameHead(f, -1, 1, 2, 2, 8);
        GreyTable(f, 8);
        LayerHead(f, 1, -1, 255, -1);
        f.Block(test::Hex("01 02 00 00 03 04 00 00"));
        files.push_back(f.b);
    }
    {
        Bytes f;
        f.Raw("Gale105").I32(40).I32(105).Zeros(12).I32(1).U8(0).U8(1).Zeros(2).I32(0).I32(1).I32(1).U8(1).Zeros(3);
        FrameHead(f, -1, 1, 2, 1, 16);
        LayerHead(f, 1, -1, 255, 1);
        f.Block(Bytes().I32(-1).I32(0).I32(-2).I32(0).Hex("ff 7f").b);
        f.Block(Bytes().I32(-1).I32(0).I32(-1).I32(0).Hex("10 20").b);
        f.I32(1).Zeros(16).I32(0);
        files.push_back(f.b);
    }
    files.push_back(FiveFrames());
    for (const std::string& whole : files) {
        TGaleFrameList ok(3);
        ok.LoadFromBytes(whole, false);
        for (size_t n = 0; n < whole.size(); ++n) {
            TGaleFrameList list(3);
            EXPECT_THROW(list.LoadFromBytes(whole.substr(0, n), false), Exception) << n;
            EXPECT_LE(list.Count(), ok.Count());
            for (int32_t i = 0; i < list.Count(); ++i)
                EXPECT_EQ(list.Frames(i).LayerCount(), 0);
        }
    }
}

} // namespace
