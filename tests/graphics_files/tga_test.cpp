// TGA files assembled here byte by byte, with the pixels worked out by hand,
// then the writer's bytes and round trips through it.
#include <random>

#include "file_builders.h"
#include "graphics/image_files.h"
#include "support/test_support.h"

using namespace tarn;
using namespace tarn::test;

namespace {

struct Loaded {
    TDIBSurface s;
    int32_t key = 99;
    TLoadResults r;
};

void Load(Loaded& l, const std::string& bytes, bool keepAlpha = false) { DecodeTga(bytes, l.s, l.key, l.r, keepAlpha); }

TEST(TgaRead, ColourMappedBottomUp)
{
    // Type 1, 2 x 2 at 8 bits; the map's two 24-bit entries start at index 2.
    TgaHeaderFields h;
    h.mapType = 1, h.type = 1, h.firstEntry = 2, h.mapLength = 2, h.entrySize = 24, h.width = 2, h.height = 2, h.depth = 8, h.descriptor = 0;
    h.idLength = 3;
    std::string file = TgaHeader(h) + "abc" + Bytes({ 10, 20, 30, 40, 50, 60 }) + Bytes({ 2, 3, /* top: */ 3, 2 });
    Loaded l;
    Load(l, file);
    ASSERT_EQ(l.s.BitDepth(), 8);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 3, 2, 2, 3 })); // stored bottom row first: flipped
    EXPECT_EQ(l.s.ColorTable[2], (TRGBQuad { 10, 20, 30, 0 }));
    EXPECT_EQ(l.s.ColorTable[3], (TRGBQuad { 40, 50, 60, 0 }));
    EXPECT_EQ(l.s.Palette()[3], l.s.ColorTable[3]);
    EXPECT_EQ(l.key, -1); // no footer
    EXPECT_FALSE(l.r.IsRunLength);
    EXPECT_EQ(l.r.ImageType, 1);
    EXPECT_EQ(l.r.FileBits, 8);

    // 16-bit map entries are 5-5-5 with the channels shifted up by three.
    h.firstEntry = 0, h.mapLength = 1, h.entrySize = 16, h.idLength = 0, h.width = 1, h.height = 1;
    Load(l, TgaHeader(h) + Le16(0x7C00 | 0x0200 | 0x0003) + Bytes({ 0 }));
    EXPECT_EQ(l.s.ColorTable[0], (TRGBQuad { 24, 128, 248, 0 }));
}

TEST(TgaRead, ColourMappedPlainAndRunLengthInEveryOrientation)
{
    // 2 x 2, stored values 1 2 / 3 4; type 9 holds them as one literal packet.
    TgaHeaderFields h;
    h.mapType = 1, h.mapLength = 5, h.entrySize = 24, h.width = 2, h.height = 2, h.depth = 8;
    const std::string map(15, '\x11');
    const std::vector<uint32_t> topLeft { 1, 2, 3, 4 }, bottomLeft { 3, 4, 1, 2 }, topRight { 2, 1, 4, 3 };
    for (int type : { 1, 9 })
        for (auto [descriptor, want] : { std::pair { 0x00, bottomLeft }, std::pair { 0x20, topLeft }, std::pair { 0x30, topRight } }) {
            h.type = type, h.descriptor = descriptor;
            Loaded l;
            Load(l, TgaHeader(h) + map + (type == 1 ? Bytes({ 1, 2, 3, 4 }) : Bytes({ 0x03, 1, 2, 3, 4 })));
            EXPECT_EQ(Pixels(l.s), want) << "type " << type << ", descriptor " << descriptor;
            EXPECT_EQ(l.s.ColorTable[4], (TRGBQuad { 0x11, 0x11, 0x11, 0 }));
        }
}

TEST(TgaRead, TrueColourOrientations)
{
    TgaHeaderFields h;
    h.width = 2, h.height = 2;
    std::string pixels = Bytes({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 });
    Loaded l;
    h.descriptor = 0x20; // top first
    Load(l, TgaHeader(h) + pixels);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201, 0x060504, 0x090807, 0x0C0B0A }));
    h.descriptor = 0x00; // bottom first: flipped
    Load(l, TgaHeader(h) + pixels);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x090807, 0x0C0B0A, 0x030201, 0x060504 }));
    h.descriptor = 0x30; // top first, right to left: mirrored only
    Load(l, TgaHeader(h) + pixels);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x060504, 0x030201, 0x0C0B0A, 0x090807 }));
    h.descriptor = 0x10; // bottom first, right to left: both
    Load(l, TgaHeader(h) + pixels);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x0C0B0A, 0x090807, 0x060504, 0x030201 }));
}

TEST(TgaRead, SixteenBitsBecomeFiveSixFive)
{
    TgaHeaderFields h;
    h.width = 4, h.depth = 16;
    Loaded l;
    Load(l, TgaHeader(h) + Le16(0xFFFF) + Le16(0x7C00) + Le16(0x03E0) + Le16(0x801F));
    EXPECT_EQ(l.s.EffectiveDepth(), 16);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0xFFDF, 0xF800, 0x07C0, 0x001F }));
    // A 15-bit file reads the same way.
    h.depth = 15;
    Load(l, TgaHeader(h) + Le16(0xFFFF) + Le16(0x7C00) + Le16(0x03E0) + Le16(0x801F));
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0xFFDF, 0xF800, 0x07C0, 0x001F }));
    EXPECT_EQ(l.r.FileBits, 15);
}

TEST(TgaRead, RunLengthPacketsCrossRows)
{
    // Type 9, 3 x 2 palette pixels, top first and right to left: mirrored.
    TgaHeaderFields h;
    h.type = 9, h.width = 3, h.height = 2, h.depth = 8, h.descriptor = 0x30;
    Loaded l;
    Load(l, TgaHeader(h) + Bytes({ 0x82, 5, 0x02, 1, 2, 3 }));
    EXPECT_TRUE(l.r.IsRunLength);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 5, 5, 5, 3, 2, 1 }));

    // Type 10 at 24 bits: a run of four spills into the second stored row.
    h.type = 10, h.depth = 24;
    std::string data = Bytes({ 0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9 });
    const uint32_t a = 0x030201, b = 0x060504, c = 0x090807;
    for (int descriptor : { 0x00, 0x20, 0x30 }) {
        h.descriptor = descriptor;
        Load(l, TgaHeader(h) + data);
        std::vector<uint32_t> stored0 { a, a, a }, stored1 { a, b, c };
        if (descriptor & 0x10)
            std::reverse(stored0.begin(), stored0.end()), std::reverse(stored1.begin(), stored1.end());
        std::vector<uint32_t> want = descriptor & 0x20 ? stored0 : stored1;
        const std::vector<uint32_t>& second = descriptor & 0x20 ? stored1 : stored0;
        want.insert(want.end(), second.begin(), second.end());
        EXPECT_EQ(Pixels(l.s), want) << "descriptor " << descriptor;
    }

    // 32 bits with the fourth byte: kept as transparency (mask = 255 - byte).
    h.width = 2, h.height = 1, h.depth = 32, h.descriptor = 0x20;
    Load(l, TgaHeader(h) + Bytes({ 0x00, 1, 2, 3, 0x00, 0x81, 4, 5, 6, 0xFF }), true);
    EXPECT_EQ(l.s.BitDepth(), 24);
    EXPECT_TRUE(l.r.HasAlphaMask);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201, 0x060504 }));
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 255, 0 }));
    Load(l, TgaHeader(h) + Bytes({ 0x00, 1, 2, 3, 0x00, 0x81, 4, 5, 6, 0xFF }), false);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x00030201, 0xFF060504 }));
    EXPECT_FALSE(l.s.HasMask());
}

TEST(TgaRead, RunLengthDataEndingEarlyLeavesZeros)
{
    TgaHeaderFields h;
    h.type = 10, h.width = 3, h.height = 2, h.descriptor = 0x20;
    Loaded l;
    // A literal packet of three whose third pixel is cut off after one byte.
    Load(l, TgaHeader(h) + Bytes({ 0x02, 1, 2, 3, 4, 5, 6, 7 }));
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201, 0x060504, 0, 0, 0, 0 }));
    // A run header without its pixel.
    Load(l, TgaHeader(h) + Bytes({ 0x80, 1, 2, 3, 0x81 }));
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201, 0, 0, 0, 0, 0 }));
    // The extension area after the pixels is not pixel data.
    std::string file = TgaHeader(h) + Bytes({ 0x80, 1, 2, 3 });
    uint32_t extension = static_cast<uint32_t>(file.size());
    file += TgaExtension(9, 9, 9) + TgaFooter(extension);
    Load(l, file);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(l.key, 0x090909);
    // Runs never write past the picture.
    Load(l, TgaHeader(h) + Bytes({ 0xFF, 1, 1, 1, 0xFF, 2, 2, 2 }));
    EXPECT_EQ(Pixels(l.s), std::vector<uint32_t>(6, 0x010101));
}

TEST(TgaRead, GreyWithoutMapGetsARamp)
{
    TgaHeaderFields h;
    h.type = 3, h.width = 2, h.depth = 8;
    Loaded l;
    Load(l, TgaHeader(h) + Bytes({ 0, 200 }));
    EXPECT_EQ(l.s.ColorTable[200], (TRGBQuad { 200, 200, 200, 0 }));
    EXPECT_EQ(l.s.ColorTable[255], (TRGBQuad { 255, 255, 255, 0 }));
    EXPECT_EQ(l.s.Canvas().Pixel(1, 0), RGBColor(200, 200, 200));
    h.type = 11;
    Load(l, TgaHeader(h) + Bytes({ 0x81, 77 }));
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 77, 77 }));
    EXPECT_EQ(l.s.ColorTable[77], (TRGBQuad { 77, 77, 77, 0 }));
}

TEST(TgaRead, KeyColourFromTheExtensionArea)
{
    TgaHeaderFields h;
    std::string body = TgaHeader(h) + Bytes({ 1, 2, 3 });
    Loaded l;
    Load(l, body);
    EXPECT_EQ(l.key, -1); // no footer
    Load(l, body + TgaFooter(0));
    EXPECT_EQ(l.key, -1); // a footer without extension area
    Load(l, body + TgaExtension(0, 0, 0) + TgaFooter(static_cast<uint32_t>(body.size())) + std::string(5, '\0'));
    EXPECT_EQ(l.key, 0); // black is a key too; trailing zeros are skipped
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0x030201 }));
    // At 16 bits the key is packed from components taken as reduced already.
    h.depth = 16;
    body = TgaHeader(h) + Le16(0);
    Load(l, body + TgaExtension(31, 63, 31) + TgaFooter(static_cast<uint32_t>(body.size())));
    EXPECT_EQ(l.key, 0xFFFF);
    // At palette depths, the nearest palette entry.
    h.mapType = 1, h.type = 1, h.mapLength = 3, h.entrySize = 24, h.depth = 8;
    body = TgaHeader(h) + Bytes({ 0, 0, 0, 0, 0, 250, 255, 255, 255 }) + Bytes({ 0 });
    Load(l, body + TgaExtension(240, 10, 10) + TgaFooter(static_cast<uint32_t>(body.size())));
    EXPECT_EQ(l.key, 1);
}

TEST(TgaRead, RefusesWhatDoesNotFitBeforeTouchingTheSurface)
{
    Loaded l;
    l.s.Resize(1, 1, 24);
    l.s.SetPixel(0, 0, 0x123456);
    TgaHeaderFields h;
    h.width = 2, h.height = 2;
    EXPECT_THROW(Load(l, TgaHeader(h) + std::string(11, '\1')), EGraphicError); // 12 pixel bytes needed
    EXPECT_THROW(Load(l, TgaHeader(h).substr(0, 17)), EGraphicError);
    h.width = 20000, h.height = 20000; // 400 million pixels
    h.type = 10;
    EXPECT_THROW(Load(l, TgaHeader(h) + std::string(1 << 20, '\xFF')), EGraphicError);
    // Run-length: 200 pixels cannot come from one packet of 4 bytes.
    h.width = 200, h.height = 1;
    EXPECT_THROW(Load(l, TgaHeader(h) + Bytes({ 0xFF, 1, 2, 3 })), EGraphicError);
    EXPECT_NO_THROW(Load(l, TgaHeader(h) + Bytes({ 0xFF, 1, 2, 3, 0xC7, 1, 2, 3 })));
    EXPECT_EQ(l.s.Pixel(199, 0), 0x030201u);
    l.s.Resize(1, 1, 24);
    l.s.SetPixel(0, 0, 0x123456);
    // A colour map, an identification field and an extension area beyond the end.
    h = TgaHeaderFields {};
    h.mapType = 1, h.type = 1, h.mapLength = 256, h.entrySize = 24, h.depth = 8;
    EXPECT_THROW(Load(l, TgaHeader(h) + std::string(100, '\0')), EGraphicError);
    h = TgaHeaderFields {};
    h.idLength = 200;
    EXPECT_THROW(Load(l, TgaHeader(h) + std::string(10, '\0')), EGraphicError);
    h = TgaHeaderFields {};
    EXPECT_THROW(Load(l, TgaHeader(h) + Bytes({ 1, 2, 3 }) + TgaFooter(10)), EGraphicError);
    EXPECT_THROW(Load(l, TgaHeader(h) + Bytes({ 1, 2, 3 }) + TgaFooter(0, 5000)), EGraphicError);
    h.depth = 7;
    EXPECT_THROW(Load(l, TgaHeader(h) + Bytes({ 1 })), EGraphicError);
    EXPECT_EQ(l.s.Width(), 1);
    EXPECT_EQ(l.s.Pixel(0, 0), 0x123456u);

    // A type this reader does not know empties the surface without an error.
    h = TgaHeaderFields {};
    h.type = 32;
    l.key = 5;
    EXPECT_NO_THROW(Load(l, TgaHeader(h) + Bytes({ 1, 2, 3 })));
    EXPECT_TRUE(l.s.Empty());
    EXPECT_EQ(l.key, -1);
    EXPECT_EQ(l.r.ImageType, 32);
}

// ---- the writer ----

std::string AfterHeader(const std::string& file, size_t mapBytes = 0) { return file.substr(18 + mapBytes); }

TEST(TgaWrite, HeaderColourMapAndFooter)
{
    TDIBSurface s;
    s.Resize(2, 1, 4);
    s.ColorTable[1] = { 1, 2, 3, 0 };
    s.ColorTable[20] = { 9, 9, 9, 0 }; // beyond the 16 colours: written as 0
    s.SetPixel(1, 0, 1);
    std::string f = EncodeTga(s, -1, false, nullptr);
    EXPECT_EQ(ToHex(f.substr(0, 18)), "00 01 01 00 00 00 01 18 00 00 00 00 02 00 01 00 08 20");
    EXPECT_EQ(ToHex(f.substr(18 + 3, 3)), "01 02 03");
    EXPECT_EQ(ToHex(f.substr(18 + 60, 3)), "00 00 00");
    EXPECT_EQ(ToHex(AfterHeader(f, 768)),
              "00 01 " // pixels as bytes
              "00 00 00 00 00 00 00 00 54 52 55 45 56 49 53 49 4f 4e 2d 58 46 49 4c 45 2e 00");

    s.Resize(2, 1, 16);
    s.SetPixel(0, 0, 0xFFDF);
    s.SetPixel(1, 0, 0xF81F);
    f = EncodeTga(s, -1, false, nullptr);
    EXPECT_EQ(ToHex(f.substr(0, 3)), "00 00 02");
    EXPECT_EQ(f[16], 16);
    EXPECT_EQ(ToHex(AfterHeader(f).substr(0, 4)), "ff 7f 1f 7c"); // 5-6-5 written as 5-5-5
    Loaded l;
    Load(l, f);
    EXPECT_EQ(Pixels(l.s), (std::vector<uint32_t> { 0xFFDF, 0xF81F }));

    // A key goes into an extension area: its colour in bytes 471 to 473.
    s.Resize(1, 1, 24);
    s.SetPixel(0, 0, 0x112233);
    f = EncodeTga(s, 0x445566, false, nullptr);
    ASSERT_EQ(f.size(), 18u + 3 + 495 + 26);
    EXPECT_EQ(ToHex(f.substr(21, 2)), "ef 01");
    EXPECT_EQ(ToHex(f.substr(21 + 470, 5)), "00 44 55 66 00");
    EXPECT_EQ(ToHex(f.substr(f.size() - 26, 8)), "15 00 00 00 00 00 00 00"); // offset 21
    Load(l, f);
    EXPECT_EQ(l.key, 0x445566);
    s.Resize(1, 1, 32);
    Load(l, EncodeTga(s, 0x00ABCDEF, false, nullptr));
    EXPECT_EQ(l.key, 0xABCDEF);
}

TEST(TgaWrite, AlphaSourceMakesThirtyTwoBits)
{
    TDIBSurface s, alpha;
    s.Resize(2, 1, 16);
    s.SetPixel(0, 0, 0xF800);
    s.SetPixel(1, 0, 0x001F);
    alpha.Resize(2, 1, 8);
    alpha.SetPixel(0, 0, 255);
    alpha.SetPixel(1, 0, 10);
    std::string f = EncodeTga(s, 7, false, &alpha);
    EXPECT_EQ(f[16], 32);
    EXPECT_EQ(ToHex(AfterHeader(f).substr(0, 8)), "00 00 ff 00 ff 00 00 f5"); // fourth byte 255 - alpha
    EXPECT_EQ(ToHex(f.substr(f.size() - 26, 4)), "00 00 00 00"); // no key with an alpha source
    Loaded l;
    Load(l, f, true);
    EXPECT_EQ(MaskOf(l.s), (std::vector<uint32_t> { 255, 10 }));
    alpha.Resize(3, 1, 8);
    EXPECT_THROW(EncodeTga(s, -1, false, &alpha), EGraphicError);
}

TEST(TgaWrite, RunLengthPackets)
{
    TDIBSurface s;
    s.Resize(300, 1, 8);
    s.FillValue(s.FullRect(), 5);
    std::string f = EncodeTga(s, -1, true, nullptr);
    EXPECT_EQ(f[2], 9);
    EXPECT_EQ(ToHex(AfterHeader(f, 768).substr(0, 6)), "ff 05 ff 05 ab 05"); // 128, 128, 44

    // A A A B C C: a run of 3, a group of 1, a run of 2.
    s.Resize(3, 2, 24);
    const uint32_t a = 0x0A0A0A, b = 0x0B0B0B, c = 0x0C0C0C;
    s.SetPixel(0, 0, a), s.SetPixel(1, 0, a), s.SetPixel(2, 0, a);
    s.SetPixel(0, 1, b), s.SetPixel(1, 1, c), s.SetPixel(2, 1, c);
    f = EncodeTga(s, -1, true, nullptr);
    EXPECT_EQ(ToHex(AfterHeader(f).substr(0, 12)), "82 0a 0a 0a 00 0b 0b 0b 81 0c 0c 0c");
    // Packets end with their row: equal rows give a run each, and single
    // pixels of two rows two groups.
    s.Resize(2, 2, 8);
    EXPECT_EQ(ToHex(AfterHeader(EncodeTga(s, -1, true, nullptr), 768).substr(0, 4)), "81 00 81 00");
    s.SetPixel(1, 0, 1), s.SetPixel(0, 1, 2), s.SetPixel(1, 1, 3);
    EXPECT_EQ(ToHex(AfterHeader(EncodeTga(s, -1, true, nullptr), 768).substr(0, 6)), "01 00 01 01 02 03");

    // 200 different pixels: groups of 128 and 72.
    s.Resize(200, 1, 15);
    for (int32_t x = 0; x < 200; ++x)
        s.SetPixel(x, 0, static_cast<uint32_t>(x));
    std::string body = AfterHeader(EncodeTga(s, -1, true, nullptr));
    ASSERT_GE(body.size(), 1u + 256 + 1 + 144);
    EXPECT_EQ(static_cast<uint8_t>(body[0]), 127);
    EXPECT_EQ(static_cast<uint8_t>(body[257]), 71);
    EXPECT_EQ(ToHex(body.substr(257 + 1 + 142, 2)), "c7 00");
}

TEST(TgaWrite, RoundTripsAtEveryDepth)
{
    std::mt19937 rng(7);
    for (int32_t depth : { 1, 4, 8, 15, 16, 24, 32 }) {
        TDIBSurface s;
        s.Resize(37, 11, depth);
        for (int32_t y = 0; y < 11; ++y)
            for (int32_t x = 0; x < 37; ++x)
                s.SetPixel(x, y, (x / 5 + y) % 3 ? rng() : 3); // runs that cross rows, and noise
        if (depth == 16) // a 5-6-5 green's lowest bit does not survive 5-5-5
            for (int32_t y = 0; y < 11; ++y)
                for (int32_t x = 0; x < 37; ++x)
                    s.SetPixel(x, y, s.Pixel(x, y) & ~0x20u);
        for (int i = 0; i < 16; ++i)
            s.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), static_cast<uint8_t>(3 * i), 7, 0 };
        for (bool rle : { false, true }) {
            Loaded l;
            Load(l, EncodeTga(s, -1, rle, nullptr));
            EXPECT_EQ(l.r.IsRunLength, rle);
            EXPECT_EQ(l.s.EffectiveDepth(), depth < 8 ? 8 : depth == 15 ? 16 : depth) << depth;
            std::vector<uint32_t> want = Pixels(s);
            if (depth == 15) // 5-5-5 values come back as 5-6-5
                for (uint32_t& v : want)
                    v = ((v >> 5) << 6 | (v & 0x1F)) & 0xFFFF;
            EXPECT_EQ(Pixels(l.s), want) << depth << (rle ? " rle" : "");
            EXPECT_EQ(l.s.ColorTable[1], depth <= 8 ? s.ColorTable[1] : TRGBQuad {});
        }
    }
}

} // namespace
