#include "mode1_sector.h"

#include <cstring>

namespace tarn::mkdisc {

namespace {

struct Tables {
    uint8_t TimesAlpha[256] {};      // x·α in GF(2^8) over x^8+x^4+x^3+x^2+1
    uint8_t OverOnePlusAlpha[256] {}; // x/(1+α)
    uint32_t Crc[256] {};            // the EDC's CRC, least significant bit first
};

constexpr Tables MakeTables()
{
    Tables t;
    for (unsigned x = 0; x < 256; ++x) {
        unsigned a = x << 1;
        t.TimesAlpha[x] = static_cast<uint8_t>(a & 0x100 ? a ^ 0x11D : a);
    }
    // y·(1+α) = y ^ y·α runs through every value once, so its inverse is a table.
    for (unsigned y = 0; y < 256; ++y)
        t.OverOnePlusAlpha[y ^ t.TimesAlpha[y]] = static_cast<uint8_t>(y);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? (c >> 1) ^ 0xD8018001u : c >> 1;
        t.Crc[i] = c;
    }
    return t;
}

constexpr Tables kTables = MakeTables();

uint8_t Bcd(uint32_t v) { return static_cast<uint8_t>(v / 10 << 4 | v % 10); }

// The ECC sees bytes 12..2351 as 1170 words, their low and high bytes as two
// planes coded alike; n is the word's place.
uint8_t& Symbol(uint8_t* raw, int plane, int n) { return raw[12 + 2 * n + plane]; }

// One code word: count message symbols (place(k) for k = 0..count-1), then
// the parities at p0 and p1, chosen so that the symbols sum to zero both as
// they are and weighted by α^(count+1-k) (α^1 for p0, α^0 for p1). With S0 and
// S1 the two sums of the message: p0 (1+α) = S0 + S1, p1 = S0 + p0.
template <typename Place>
void Parity(uint8_t* raw, int plane, int count, Place place, int p0, int p1)
{
    uint8_t s0 = 0, s1 = 0;
    for (int k = 0; k < count; ++k) {
        uint8_t v = Symbol(raw, plane, place(k));
        s0 ^= v;
        s1 = kTables.TimesAlpha[s1 ^ v];
    }
    s1 = kTables.TimesAlpha[s1];
    uint8_t p = kTables.OverOnePlusAlpha[s0 ^ s1];
    Symbol(raw, plane, p0) = p;
    Symbol(raw, plane, p1) = static_cast<uint8_t>(p ^ s0);
}

} // namespace

void FrameMode1Sector(uint32_t lba, const uint8_t* user, uint8_t* raw)
{
    raw[0] = 0;
    std::memset(raw + 1, 0xFF, 10);
    raw[11] = 0;
    uint32_t frames = lba + 150; // the first track's pregap: two seconds
    raw[12] = Bcd(frames / (75 * 60));
    raw[13] = Bcd(frames / 75 % 60);
    raw[14] = Bcd(frames % 75);
    raw[15] = 1;
    std::memcpy(raw + 16, user, 2048);
    uint32_t crc = 0;
    for (int i = 0; i < 2064; ++i)
        crc = kTables.Crc[(crc ^ raw[i]) & 0xFF] ^ (crc >> 8);
    for (int i = 0; i < 4; ++i)
        raw[2064 + i] = static_cast<uint8_t>(crc >> (8 * i));
    std::memset(raw + 2068, 0, 8);
    // P: the 1032 words of header, data, EDC and zeros as 24 rows of 43, each
    // column a code word; Q: the 26 diagonals of those rows with P's two,
    // each a code word of 43 wrapping around the 1118 words.
    for (int plane = 0; plane < 2; ++plane) {
        for (int c = 0; c < 43; ++c)
            Parity(raw, plane, 24, [c](int k) { return 43 * k + c; }, 1032 + c, 1075 + c);
        for (int d = 0; d < 26; ++d)
            Parity(raw, plane, 43, [d](int k) { return (44 * k + 43 * d) % 1118; }, 1118 + d, 1144 + d);
    }
}

} // namespace tarn::mkdisc
