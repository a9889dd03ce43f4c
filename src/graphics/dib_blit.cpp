// Block transfers: clipping, then one inner loop per depth working on rows of
// raw pixel memory. The blends are exact integer formulas; the SIMD paths
// compute the same values bit for bit (the tests compare them with the plain
// loops on random data).
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"

namespace tarn {

namespace {

bool simdEnabled = true;

// Ordered-dither cells per level: bit (3 - x) of nibble y is cell (y, x).
constexpr uint16_t DitherPattern[15][4] = {
    { 0b1000, 0b0000, 0b0000, 0b0000 }, { 0b1000, 0b0000, 0b0010, 0b0000 }, { 0b1010, 0b0000, 0b0010, 0b0000 },
    { 0b1010, 0b0000, 0b1010, 0b0000 }, { 0b1010, 0b0100, 0b1010, 0b0000 }, { 0b1010, 0b0100, 0b1010, 0b0001 },
    { 0b1010, 0b0101, 0b1010, 0b0001 }, { 0b1010, 0b0101, 0b1010, 0b0101 }, { 0b1110, 0b0101, 0b1010, 0b0101 },
    { 0b1110, 0b0101, 0b1011, 0b0101 }, { 0b1111, 0b0101, 0b1011, 0b0101 }, { 0b1111, 0b0101, 0b1111, 0b0101 },
    { 0b1111, 0b1101, 0b1111, 0b0101 }, { 0b1111, 0b1101, 0b1111, 0b0111 }, { 0b1111, 0b1111, 0b1111, 0b0111 },
};

bool DitherCell(int level, int32_t x, int32_t y) { return DitherPattern[level][y & 3] >> (3 - (x & 3)) & 1; }

uint32_t GetSub(const uint8_t* row, int32_t x, int32_t depth)
{
    if (depth == 1)
        return row[x >> 3] >> (7 - (x & 7)) & 1;
    return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
}

void PutSub(uint8_t* row, int32_t x, int32_t depth, uint32_t v)
{
    if (depth == 1) {
        uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<uint8_t>(v ? row[x >> 3] | bit : row[x >> 3] & ~bit);
    } else if (x & 1) {
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (v & 0x0F));
    } else {
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | (v & 0x0F) << 4);
    }
}

uint32_t Load16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }
void Store16(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8); }
uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// x / 255 for 0 <= x <= 65535.
inline uint32_t Div255(uint32_t x) { return (x + 1 + (x >> 8)) >> 8; }

// The clipped transfer: source rows Top .. Bottom - 1 to destination rows
// y, y + 1, ...; Width() pixels from s.Left to x.
struct Transfer {
    int32_t x, y;
    TRect s;
};

bool ClipTransfer(const TDIBSurface& dst, const TDIBSurface& src, int32_t x, int32_t y, TRect s, Transfer& t)
{
    if (src.BitDepth() != dst.BitDepth() || src.GreenMask() != dst.GreenMask())
        throw EGraphicError(msg::BlitFormatMismatch, {});
    if (s.IsEmpty() || dst.Empty())
        return false;
    if (s.Left < 0 || s.Top < 0 || s.Right > src.Width() || s.Bottom > src.Height())
        throw EGraphicError(msg::BlitSourceRange, {});
    TRect c = dst.ClipBounds.IsEmpty() ? dst.FullRect() : dst.ClipBounds;
    // A clip rectangle reaching past the surface never lets a transfer out of it.
    if (c.Left < 0)
        c.Left = 0;
    if (c.Top < 0)
        c.Top = 0;
    if (c.Right > dst.Width())
        c.Right = dst.Width();
    if (c.Bottom > dst.Height())
        c.Bottom = dst.Height();
    int64_t L = s.Left, T = s.Top, R = s.Right, B = s.Bottom, X = x, Y = y;
    if (X < c.Left)
        L += c.Left - X, X = c.Left;
    if (R + X - L > c.Right)
        R = c.Right + L - X;
    if (Y < c.Top)
        T += c.Top - Y, Y = c.Top;
    if (B + Y - T > c.Bottom)
        B = c.Bottom + T - Y;
    if (!(L < R && T < B))
        return false;
    t.x = static_cast<int32_t>(X), t.y = static_cast<int32_t>(Y);
    t.s = Rect(static_cast<int32_t>(L), static_cast<int32_t>(T), static_cast<int32_t>(R), static_cast<int32_t>(B));
    return true;
}

int BytesPerPixel(int32_t depth) { return depth / 8; }

// Rows are stored bottom-up, so the last row of a transfer comes first in
// memory; walking memory upwards lets the prefetcher keep up. Transfers within
// one surface keep the top-down order that the results depend on.
int32_t RowOrder(int32_t k, int32_t h, bool sameSurface) { return sameSurface ? k : h - 1 - k; }

// ---- row kernels (plain) ----

void Translucent32Plain(uint8_t* d, const uint8_t* s, int32_t n, uint32_t o, int64_t key)
{
    uint32_t io = 255 - o;
    for (int32_t i = 0; i < n; ++i, d += 4, s += 4) {
        uint32_t sv = Load32(s);
        if (sv == key)
            continue;
        uint32_t dv = Load32(d);
        uint32_t rb = ((io * (dv & 0xFF00FF) + o * (sv & 0xFF00FF)) >> 8) & 0xFF00FF;
        uint32_t g = ((io * (dv & 0xFF00) + o * (sv & 0xFF00)) >> 8) & 0xFF00;
        Store32(d, rb | g);
    }
}

void Alpha32Plain(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n)
{
    for (int32_t i = 0; i < n; ++i, d += 4, s += 4) {
        uint32_t a = m[i];
        if (a == 0)
            continue;
        uint32_t sv = Load32(s);
        if (a == 255) {
            Store32(d, sv);
            continue;
        }
        uint32_t dv = Load32(d), ia = 255 - a;
        uint32_t rb = ((ia * (dv & 0xFF00FF) + a * (sv & 0xFF00FF)) >> 8) & 0xFF00FF;
        uint32_t g = ((ia * (dv & 0xFF00) + a * (sv & 0xFF00)) >> 8) & 0xFF00;
        Store32(d, rb | g);
    }
}

void Translucent24Plain(uint8_t* d, const uint8_t* s, int32_t n, uint32_t o, int32_t key)
{
    uint32_t io = 255 - o;
    uint8_t k0 = static_cast<uint8_t>(key), k1 = static_cast<uint8_t>(key >> 8), k2 = static_cast<uint8_t>(key >> 16);
    for (int32_t i = 0; i < n; ++i, d += 3, s += 3) {
        if (key >= 0 && s[0] == k0 && s[1] == k1 && s[2] == k2)
            continue;
        d[0] = static_cast<uint8_t>(Div255(io * d[0] + o * s[0]));
        d[1] = static_cast<uint8_t>(Div255(io * d[1] + o * s[1]));
        d[2] = static_cast<uint8_t>(Div255(io * d[2] + o * s[2]));
    }
}

void Alpha24Plain(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n)
{
    for (int32_t i = 0; i < n; ++i, d += 3, s += 3) {
        uint32_t a = m[i];
        if (a == 0)
            continue;
        if (a == 255) {
            d[0] = s[0], d[1] = s[1], d[2] = s[2];
            continue;
        }
        uint32_t ia = 255 - a;
        d[0] = static_cast<uint8_t>((ia * d[0] + a * s[0]) >> 8);
        d[1] = static_cast<uint8_t>((ia * d[1] + a * s[1]) >> 8);
        d[2] = static_cast<uint8_t>((ia * d[2] + a * s[2]) >> 8);
    }
}

#if defined(__SSE2__)

// Four pixels of 32 bits: ((255 - o) x d + o x s) >> 8 per byte. The weights
// are 0 in the fourth byte's lanes, which makes that byte 0.
inline __m128i Blend4(__m128i dv, __m128i sv, __m128i o16, __m128i io16)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i rl = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), io16), _mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), o16)), 8);
    __m128i rh = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), io16), _mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), o16)), 8);
    return _mm_packus_epi16(rl, rh);
}

void Translucent32Simd(uint8_t* d, const uint8_t* s, int32_t n, uint32_t o, int64_t key)
{
    const short so = static_cast<short>(o), sio = static_cast<short>(255 - o);
    const __m128i o16 = _mm_set_epi16(0, so, so, so, 0, so, so, so), io16 = _mm_set_epi16(0, sio, sio, sio, 0, sio, sio, sio);
    int32_t i = 0;
    if (key < 0 || key > 0xFFFFFFFFll) {
        for (; i + 8 <= n; i += 8, d += 32, s += 32) {
            __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
            __m128i d0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
            __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 16));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), Blend4(d0, s0, o16, io16));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), Blend4(d1, s1, o16, io16));
        }
    } else {
        const __m128i k = _mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(key)));
        for (; i + 4 <= n; i += 4, d += 16, s += 16) {
            __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
            __m128i r = Blend4(dv, sv, o16, io16);
            __m128i skip = _mm_cmpeq_epi32(sv, k);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(_mm_and_si128(skip, dv), _mm_andnot_si128(skip, r)));
        }
    }
    Translucent32Plain(d, s, n - i, o, key);
}

void Alpha32Simd(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n)
{
    const __m128i zero = _mm_setzero_si128(), c255 = _mm_set1_epi16(255), ones = _mm_set1_epi32(-1);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4, d += 16, s += 16) {
        uint32_t mm = Load32(m + i);
        if (mm == 0)
            continue;
        __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        if (mm == 0xFFFFFFFFu) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), sv);
            continue;
        }
        __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
        // Each mask byte repeated over its pixel's four bytes, then widened.
        __m128i a = _mm_cvtsi32_si128(static_cast<int>(mm));
        a = _mm_unpacklo_epi8(a, a);
        a = _mm_unpacklo_epi16(a, a);
        __m128i al = _mm_unpacklo_epi8(a, zero), ah = _mm_unpackhi_epi8(a, zero);
        __m128i rl = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), _mm_sub_epi16(c255, al)),
                                                  _mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), al)),
                                    8);
        __m128i rh = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), _mm_sub_epi16(c255, ah)),
                                                  _mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), ah)),
                                    8);
        __m128i r = _mm_and_si128(_mm_packus_epi16(rl, rh), _mm_set1_epi32(0x00FFFFFF));
        // Mask 0 keeps the destination, 255 takes the source with its fourth byte.
        __m128i keep = _mm_cmpeq_epi32(a, zero), take = _mm_cmpeq_epi32(a, ones);
        r = _mm_or_si128(_mm_andnot_si128(take, r), _mm_and_si128(take, sv));
        r = _mm_or_si128(_mm_andnot_si128(keep, r), _mm_and_si128(keep, dv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), r);
    }
    Alpha32Plain(d, s, m + i, n - i);
}

// Palette depths: a mask byte of 128 or more copies the index.
void Alpha8Simd(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n)
{
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i take = _mm_cmplt_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m + i)), zero); // top bit set
        __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_or_si128(_mm_and_si128(take, sv), _mm_andnot_si128(take, dv)));
    }
    for (; i < n; ++i)
        if (m[i] >= 128)
            d[i] = s[i];
}

// Sixteen bytes of 24-bit pixels with a constant opacity: the byte formula
// does not care where pixels begin, so whole vectors are blended.
void Translucent24Simd(uint8_t* d, const uint8_t* s, int32_t n, uint32_t o, int32_t key)
{
    if (key >= 0) {
        Translucent24Plain(d, s, n, o, key);
        return;
    }
    const __m128i zero = _mm_setzero_si128();
    const __m128i o16 = _mm_set1_epi16(static_cast<short>(o)), io16 = _mm_set1_epi16(static_cast<short>(255 - o));
    const __m128i one = _mm_set1_epi16(1);
    size_t bytes = static_cast<size_t>(n) * 3, i = 0;
    for (; i + 16 <= bytes; i += 16) {
        __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        __m128i xl = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), io16), _mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), o16));
        __m128i xh = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), io16), _mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), o16));
        // x / 255 = (x + 1 + (x >> 8)) >> 8, all within 16 bits for x <= 65025.
        xl = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(xl, one), _mm_srli_epi16(xl, 8)), 8);
        xh = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(xh, one), _mm_srli_epi16(xh, 8)), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(xl, xh));
    }
    for (; i < bytes; ++i)
        d[i] = static_cast<uint8_t>(Div255((255 - o) * d[i] + o * s[i]));
}

#endif

void Translucent32(uint8_t* d, const uint8_t* s, int32_t n, uint32_t o, int64_t key)
{
#if defined(__SSE2__)
    if (simdEnabled)
        return Translucent32Simd(d, s, n, o, key);
#endif
    Translucent32Plain(d, s, n, o, key);
}

void Alpha32(uint8_t* d, const uint8_t* s, const uint8_t* m, int32_t n)
{
#if defined(__SSE2__)
    if (simdEnabled)
        return Alpha32Simd(d, s, m, n);
#endif
    Alpha32Plain(d, s, m, n);
}

void Translucent24(uint8_t* d, const uint8_t* s, int32_t n, uint32_t o, int32_t key)
{
#if defined(__SSE2__)
    if (simdEnabled)
        return Translucent24Simd(d, s, n, o, key);
#endif
    Translucent24Plain(d, s, n, o, key);
}

// 16-bit blend of one channel mask M: M and ((255 - o) x (d and M) + o x (s and M)) div 255 (or shr 8).
inline uint32_t Blend16(uint32_t d, uint32_t s, uint32_t o, const uint32_t masks[3], bool byShift)
{
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        uint32_t M = masks[c];
        uint32_t x = (255 - o) * (d & M) + o * (s & M);
        out |= M & (byShift ? x >> 8 : x / 255);
    }
    return out;
}

} // namespace

void SetSurfaceSimd(bool enabled) { simdEnabled = enabled; }
bool SurfaceSimd() { return simdEnabled; }

void TDIBSurface::Blit(int32_t x, int32_t y, const TDIBSurface& source) { BlitRect(x, y, source.FullRect(), source); }

void TDIBSurface::BlitRect(int32_t x, int32_t y, const TRect& srcRect, const TDIBSurface& source)
{
    Transfer t;
    if (!ClipTransfer(*this, source, x, y, srcRect, t))
        return;
    int32_t w = t.s.Width(), h = t.s.Height();
    if (bitDepth_ >= 8) {
        size_t bpp = static_cast<size_t>(BytesPerPixel(bitDepth_)), n = static_cast<size_t>(w) * bpp;
        // A transfer within one surface moving down runs bottom-up so that no
        // source row is overwritten before it is read.
        bool self = &source == this;
        bool upward = !self || t.y > t.s.Top;
        for (int32_t k = 0; k < h; ++k) {
            int32_t r = upward ? h - 1 - k : k;
            std::memmove(RowAddress(t.y + r) + static_cast<size_t>(t.x) * bpp,
                         source.RowAddress(t.s.Top + r) + static_cast<size_t>(t.s.Left) * bpp, n);
        }
        return;
    }
    for (int32_t step = 0; step < h; ++step) {
        int32_t r = RowOrder(step, h, &source == this);
        const uint8_t* s = source.RowAddress(t.s.Top + r);
        uint8_t* d = RowAddress(t.y + r);
        for (int32_t i = 0; i < w; ++i)
            PutSub(d, t.x + i, bitDepth_, GetSub(s, t.s.Left + i, bitDepth_));
    }
}

void TDIBSurface::BlitKeyed(int32_t x, int32_t y, const TRect& srcRect, int32_t key, const TDIBSurface& source)
{
    Transfer t;
    if (!ClipTransfer(*this, source, x, y, srcRect, t))
        return;
    int32_t w = t.s.Width(), h = t.s.Height();
    int64_t k = key; // negative keys never equal a pixel value
    for (int32_t step = 0; step < h; ++step) {
        int32_t r = RowOrder(step, h, &source == this);
        const uint8_t* s = source.RowAddress(t.s.Top + r);
        uint8_t* d = RowAddress(t.y + r);
        switch (bitDepth_) {
        case 1:
        case 4: {
            int64_t subKey = bitDepth_ == 1 ? (key != 0 ? 1 : 0) : k;
            for (int32_t i = 0; i < w; ++i) {
                uint32_t v = GetSub(s, t.s.Left + i, bitDepth_);
                if (v != subKey)
                    PutSub(d, t.x + i, bitDepth_, v);
            }
            break;
        }
        case 8: {
            const uint8_t* sp = s + t.s.Left;
            uint8_t* dp = d + t.x;
            for (int32_t i = 0; i < w; ++i)
                if (sp[i] != k)
                    dp[i] = sp[i];
            break;
        }
        case 16: {
            const uint8_t* sp = s + 2 * static_cast<size_t>(t.s.Left);
            uint8_t* dp = d + 2 * static_cast<size_t>(t.x);
            for (int32_t i = 0; i < w; ++i, sp += 2, dp += 2)
                if (Load16(sp) != k)
                    dp[0] = sp[0], dp[1] = sp[1];
            break;
        }
        case 24: {
            uint8_t k0 = static_cast<uint8_t>(key), k1 = static_cast<uint8_t>(key >> 8), k2 = static_cast<uint8_t>(key >> 16);
            const uint8_t* sp = s + 3 * static_cast<size_t>(t.s.Left);
            uint8_t* dp = d + 3 * static_cast<size_t>(t.x);
            for (int32_t i = 0; i < w; ++i, sp += 3, dp += 3)
                if (sp[0] != k0 || sp[1] != k1 || sp[2] != k2)
                    dp[0] = sp[0], dp[1] = sp[1], dp[2] = sp[2];
            break;
        }
        default: {
            const uint8_t* sp = s + 4 * static_cast<size_t>(t.s.Left);
            uint8_t* dp = d + 4 * static_cast<size_t>(t.x);
            for (int32_t i = 0; i < w; ++i, sp += 4, dp += 4) {
                uint32_t v = Load32(sp);
                if (v != k)
                    Store32(dp, v);
            }
            break;
        }
        }
    }
}

void TDIBSurface::BlitTranslucent(int32_t x, int32_t y, const TRect& srcRect, int32_t opacity, int32_t key, const TDIBSurface& source)
{
    int32_t o = opacity;
    if (o == 0)
        return;
    bool palette = bitDepth_ <= 8;
    if (palette && o > 0)
        o /= 16;
    if (o > 254 || (palette && o > 14) || o < 0) {
        BlitKeyed(x, y, srcRect, key, source);
        return;
    }
    Transfer t;
    if (!ClipTransfer(*this, source, x, y, srcRect, t))
        return;
    int32_t w = t.s.Width(), h = t.s.Height();
    uint32_t uo = static_cast<uint32_t>(o);
    int64_t k = key;
    for (int32_t step = 0; step < h; ++step) {
        int32_t r = RowOrder(step, h, &source == this);
        const uint8_t* s = source.RowAddress(t.s.Top + r);
        int32_t dy = t.y + r;
        uint8_t* d = RowAddress(dy);
        switch (bitDepth_) {
        case 1:
        case 4:
            for (int32_t i = 0; i < w; ++i) {
                int32_t dx = t.x + i;
                if (!DitherCell(o, dx, dy))
                    continue;
                uint32_t v = GetSub(s, t.s.Left + i, bitDepth_);
                if (v != k)
                    PutSub(d, dx, bitDepth_, v);
            }
            break;
        case 8:
            for (int32_t i = 0; i < w; ++i) {
                int32_t dx = t.x + i;
                uint8_t v = s[t.s.Left + i];
                if (DitherCell(o, dx, dy) && v != k)
                    d[dx] = v;
            }
            break;
        case 16: {
            const uint32_t masks[3] = { redMask_, greenMask_, blueMask_ };
            const uint8_t* sp = s + 2 * static_cast<size_t>(t.s.Left);
            uint8_t* dp = d + 2 * static_cast<size_t>(t.x);
            for (int32_t i = 0; i < w; ++i, sp += 2, dp += 2) {
                uint32_t sv = Load16(sp);
                if (sv != k)
                    Store16(dp, Blend16(Load16(dp), sv, uo, masks, false));
            }
            break;
        }
        case 24:
            Translucent24(d + 3 * static_cast<size_t>(t.x), s + 3 * static_cast<size_t>(t.s.Left), w, uo, key);
            break;
        default:
            Translucent32(d + 4 * static_cast<size_t>(t.x), s + 4 * static_cast<size_t>(t.s.Left), w, uo, k);
            break;
        }
    }
}

void TDIBSurface::BlitAlpha(int32_t x, int32_t y, const TRect& srcRect, const TDIBSurface& source)
{
    if (!source.mask_)
        throw EGraphicError(msg::BlitNoMask, {});
    Transfer t;
    if (!ClipTransfer(*this, source, x, y, srcRect, t))
        return;
    const TDIBSurface& mask = *source.mask_;
    int32_t w = t.s.Width(), h = t.s.Height();
    for (int32_t step = 0; step < h; ++step) {
        int32_t r = RowOrder(step, h, &source == this);
        const uint8_t* s = source.RowAddress(t.s.Top + r);
        const uint8_t* m = mask.RowAddress(t.s.Top + r) + t.s.Left;
        uint8_t* d = RowAddress(t.y + r);
        switch (bitDepth_) {
        case 1:
        case 4:
            for (int32_t i = 0; i < w; ++i)
                if (m[i] >= 128)
                    PutSub(d, t.x + i, bitDepth_, GetSub(s, t.s.Left + i, bitDepth_));
            break;
        case 8:
#if defined(__SSE2__)
            if (simdEnabled) {
                Alpha8Simd(d + t.x, s + t.s.Left, m, w);
                break;
            }
#endif
            for (int32_t i = 0; i < w; ++i)
                if (m[i] >= 128)
                    d[t.x + i] = s[t.s.Left + i];
            break;
        case 16: {
            const uint32_t masks[3] = { redMask_, greenMask_, blueMask_ };
            const uint8_t* sp = s + 2 * static_cast<size_t>(t.s.Left);
            uint8_t* dp = d + 2 * static_cast<size_t>(t.x);
            for (int32_t i = 0; i < w; ++i, sp += 2, dp += 2) {
                uint32_t a = m[i];
                if (a == 0)
                    continue;
                if (a == 255)
                    dp[0] = sp[0], dp[1] = sp[1];
                else
                    Store16(dp, Blend16(Load16(dp), Load16(sp), a, masks, true));
            }
            break;
        }
        case 24:
            Alpha24Plain(d + 3 * static_cast<size_t>(t.x), s + 3 * static_cast<size_t>(t.s.Left), m, w);
            break;
        default:
            Alpha32(d + 4 * static_cast<size_t>(t.x), s + 4 * static_cast<size_t>(t.s.Left), m, w);
            break;
        }
    }
}

} // namespace tarn
