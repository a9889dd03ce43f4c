#include "graphics/quantize.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace tarn {

namespace {

// The distinct colours of the picture in the order they first occur, or
// nothing when there are more than limit.
std::vector<uint32_t> DistinctColors(const TRgbPicture& picture, size_t limit)
{
    std::vector<uint32_t> colors;
    std::unordered_map<uint32_t, bool> seen;
    uint32_t previous = 0xFFFFFFFF;
    for (size_t i = 0; i + 3 <= picture.Rgb.size(); i += 3) {
        uint32_t c = uint32_t(picture.Rgb[i]) << 16 | uint32_t(picture.Rgb[i + 1]) << 8 | picture.Rgb[i + 2];
        if (c == previous)
            continue;
        previous = c;
        if (seen.emplace(c, true).second) {
            colors.push_back(c);
            if (colors.size() > limit)
                return {};
        }
    }
    return colors;
}

// One occupied cell of the histogram (5 bits per channel).
struct Cell {
    uint8_t c[3]; // the cell's red, green, blue (0 .. 31)
    uint64_t count = 0;
    uint64_t sum[3] = { 0, 0, 0 };
};

struct Box {
    size_t begin, end;
    double error = 0; // squared error of the cells around the box's mean
    int channel = 0;  // the channel with the largest spread
};

void Measure(const std::vector<Cell>& cells, Box& box)
{
    double n = 0, mean[3] = { 0, 0, 0 };
    for (size_t i = box.begin; i < box.end; ++i) {
        n += static_cast<double>(cells[i].count);
        for (int k = 0; k < 3; ++k)
            mean[k] += static_cast<double>(cells[i].sum[k]);
    }
    double spread[3] = { 0, 0, 0 };
    for (int k = 0; k < 3; ++k)
        mean[k] /= n;
    for (size_t i = box.begin; i < box.end; ++i) {
        double cn = static_cast<double>(cells[i].count);
        for (int k = 0; k < 3; ++k) {
            double d = static_cast<double>(cells[i].sum[k]) / cn - mean[k];
            spread[k] += cn * d * d;
        }
    }
    box.error = spread[0] + spread[1] + spread[2];
    box.channel = spread[1] >= spread[0] && spread[1] >= spread[2] ? 1 : spread[0] >= spread[2] ? 0 : 2;
    if (box.end - box.begin < 2)
        box.error = 0;
}

} // namespace

std::vector<TRGBQuad> MedianCutPalette(const TRgbPicture& picture, int32_t maxColors)
{
    std::vector<TRGBQuad> palette;
    std::vector<uint32_t> exact = DistinctColors(picture, static_cast<size_t>(maxColors));
    if (!exact.empty() || picture.Rgb.empty()) {
        for (uint32_t c : exact)
            palette.push_back(TRGBQuad { static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16), 0 });
        return palette;
    }
    std::vector<Cell> grid(32768);
    for (size_t i = 0; i + 3 <= picture.Rgb.size(); i += 3) {
        const uint8_t* p = picture.Rgb.data() + i;
        Cell& cell = grid[static_cast<size_t>((p[0] >> 3) << 10 | (p[1] >> 3) << 5 | (p[2] >> 3))];
        ++cell.count;
        for (int k = 0; k < 3; ++k)
            cell.sum[k] += p[k];
    }
    std::vector<Cell> cells;
    for (size_t i = 0; i < grid.size(); ++i)
        if (grid[i].count) {
            Cell c = grid[i];
            c.c[0] = static_cast<uint8_t>(i >> 10), c.c[1] = static_cast<uint8_t>(i >> 5 & 31), c.c[2] = static_cast<uint8_t>(i & 31);
            cells.push_back(c);
        }
    std::vector<Box> boxes { Box { 0, cells.size() } };
    Measure(cells, boxes[0]);
    while (boxes.size() < static_cast<size_t>(maxColors)) {
        auto worst = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) { return a.error < b.error; });
        if (worst->error <= 0)
            break;
        Box box = *worst;
        int k = box.channel;
        std::sort(cells.begin() + static_cast<std::ptrdiff_t>(box.begin), cells.begin() + static_cast<std::ptrdiff_t>(box.end),
                  [k](const Cell& a, const Cell& b) {
                      return a.c[k] != b.c[k] ? a.c[k] < b.c[k] : (a.c[0] << 10 | a.c[1] << 5 | a.c[2]) < (b.c[0] << 10 | b.c[1] << 5 | b.c[2]);
                  });
        uint64_t total = 0, half = 0;
        for (size_t i = box.begin; i < box.end; ++i)
            total += cells[i].count;
        size_t split = box.begin + 1;
        for (size_t i = box.begin; i < box.end - 1; ++i) {
            half += cells[i].count;
            split = i + 1;
            if (2 * half >= total)
                break;
        }
        Box a { box.begin, split }, b { split, box.end };
        Measure(cells, a);
        Measure(cells, b);
        *worst = a;
        boxes.push_back(b);
    }
    for (const Box& box : boxes) {
        uint64_t n = 0, sum[3] = { 0, 0, 0 };
        for (size_t i = box.begin; i < box.end; ++i) {
            n += cells[i].count;
            for (int k = 0; k < 3; ++k)
                sum[k] += cells[i].sum[k];
        }
        auto mean = [&](int k) { return static_cast<uint8_t>((sum[k] + n / 2) / n); };
        palette.push_back(TRGBQuad { mean(2), mean(1), mean(0), 0 });
    }
    return palette;
}

std::vector<TRGBQuad> FixedPalette(int32_t colors)
{
    std::vector<TRGBQuad> palette;
    auto add = [&](uint8_t r, uint8_t g, uint8_t b) { palette.push_back(TRGBQuad { b, g, r, 0 }); };
    if (colors <= 2) {
        add(0, 0, 0), add(255, 255, 255);
    } else if (colors <= 16) {
        static const uint8_t vga[16][3] = { { 0, 0, 0 },       { 128, 0, 0 },   { 0, 128, 0 },   { 128, 128, 0 },
                                            { 0, 0, 128 },     { 128, 0, 128 }, { 0, 128, 128 }, { 192, 192, 192 },
                                            { 128, 128, 128 }, { 255, 0, 0 },   { 0, 255, 0 },   { 255, 255, 0 },
                                            { 0, 0, 255 },     { 255, 0, 255 }, { 0, 255, 255 }, { 255, 255, 255 } };
        for (const auto& c : vga)
            add(c[0], c[1], c[2]);
    } else {
        for (int i = 0; i < 256; ++i)
            add(static_cast<uint8_t>((i >> 5) * 255 / 7), static_cast<uint8_t>((i >> 2 & 7) * 255 / 7), static_cast<uint8_t>((i & 3) * 255 / 3));
    }
    return palette;
}

namespace {

// Nearest palette entry: the palette sorted by green is searched outwards
// from the colour's green until the green distance alone exceeds the best;
// recent answers are kept in a small direct-mapped cache.
class NearestFinder {
public:
    explicit NearestFinder(const std::vector<TRGBQuad>& palette) : cache_(1 << 14, 0)
    {
        for (size_t i = 0; i < palette.size(); ++i)
            sorted_.push_back(Entry { palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue, static_cast<uint8_t>(i) });
        std::stable_sort(sorted_.begin(), sorted_.end(), [](const Entry& a, const Entry& b) { return a.g < b.g; });
        size_t j = 0;
        for (int g = 0; g < 256; ++g) {
            while (j < sorted_.size() && sorted_[j].g < g)
                ++j;
            firstAtLeast_[static_cast<size_t>(g)] = j;
        }
    }

    uint8_t Find(int r, int g, int b)
    {
        uint32_t key = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        uint64_t& slot = cache_[(key * 2654435761u) >> 18];
        if ((slot >> 8) == uint64_t(key) + 1)
            return static_cast<uint8_t>(slot);
        uint8_t index = Search(r, g, b);
        slot = (uint64_t(key) + 1) << 8 | index;
        return index;
    }

private:
    struct Entry {
        uint8_t r, g, b, index;
    };

    uint8_t Search(int r, int g, int b) const
    {
        int best = INT32_MAX;
        uint8_t bestIndex = 0;
        auto consider = [&](const Entry& e) {
            int dr = e.r - r, dg = e.g - g, db = e.b - b;
            int d = dr * dr + dg * dg + db * db;
            if (d < best || (d == best && e.index < bestIndex))
                best = d, bestIndex = e.index;
        };
        size_t start = firstAtLeast_[static_cast<size_t>(g)];
        for (size_t i = start; i < sorted_.size(); ++i) {
            int dg = sorted_[i].g - g;
            if (dg * dg > best)
                break;
            consider(sorted_[i]);
        }
        for (size_t i = start; i-- > 0;) {
            int dg = sorted_[i].g - g;
            if (dg * dg > best)
                break;
            consider(sorted_[i]);
        }
        return bestIndex;
    }

    std::vector<Entry> sorted_;
    std::array<size_t, 256> firstAtLeast_ {};
    // (colour + 1) << 8 | index, 0 when empty; the whole colour is kept, so
    // every hit is exact.
    std::vector<uint64_t> cache_;
};

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

} // namespace

std::vector<uint8_t> MapToPalette(const TRgbPicture& picture, const std::vector<TRGBQuad>& palette, bool dither)
{
    const size_t w = static_cast<size_t>(picture.Width), h = static_cast<size_t>(picture.Height);
    std::vector<uint8_t> out(w * h);
    if (palette.empty() || out.empty())
        return out;
    NearestFinder finder(palette);
    if (!dither) {
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = finder.Find(picture.Rgb[3 * i], picture.Rgb[3 * i + 1], picture.Rgb[3 * i + 2]);
        return out;
    }
    // Errors in sixteenths, for this row and the next, with a guard pixel at each end.
    std::vector<int> current((w + 2) * 3, 0), next((w + 2) * 3, 0);
    for (size_t y = 0; y < h; ++y) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t x = 0; x < w; ++x) {
            const uint8_t* p = picture.Rgb.data() + 3 * (y * w + x);
            int* e = &current[3 * (x + 1)];
            int want[3];
            for (int k = 0; k < 3; ++k)
                want[k] = Clamp(p[k] + (e[k] >= 0 ? (e[k] + 8) / 16 : -((-e[k] + 8) / 16)));
            uint8_t index = finder.Find(want[0], want[1], want[2]);
            out[y * w + x] = index;
            const TRGBQuad& q = palette[index];
            int got[3] = { q.rgbRed, q.rgbGreen, q.rgbBlue };
            for (int k = 0; k < 3; ++k) {
                int err = want[k] - got[k];
                e[3 + k] += err * 7;
                next[3 * x + k] += err * 3;
                next[3 * (x + 1) + k] += err * 5;
                next[3 * (x + 2) + k] += err;
            }
        }
        std::swap(current, next);
    }
    return out;
}

} // namespace tarn
