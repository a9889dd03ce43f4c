// Draws the sample game's title picture (a lighthouse on a hill above the
// night sea) and writes it as PNG or BMP, by the output's extension. The
// picture is made here rather than kept as a binary in the sources.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "base/text.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/png_file.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

using namespace tarn;

namespace {

constexpr int kWidth = 265, kHeight = 230;
constexpr int kHorizon = 150;

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t };
}

class Picture {
public:
    Picture() : pixels_(kWidth * kHeight) { }
    Rgb& At(int x, int y) { return pixels_[static_cast<size_t>(y * kWidth + x)]; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < kWidth && y < kHeight; }
    void Blend(int x, int y, Rgb c, double alpha)
    {
        if (Inside(x, y))
            At(x, y) = Mix(At(x, y), c, alpha);
    }
    void Store(TDIBSurface& surface)
    {
        surface.Resize(kWidth, kHeight, 24);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const Rgb& c = At(x, y);
                auto channel = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
                surface.SetPixel(x, y, channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b));
            }
    }

private:
    std::vector<Rgb> pixels_;
};

// The same stars on every run.
uint32_t NextRandom(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

double HillTop(int x) { return 118 + 0.004 * (x - 40) * (x - 40); }

void Draw(Picture& p)
{
    const Rgb night{ 12, 18, 52 }, dusk{ 92, 58, 120 }, glow{ 236, 150, 90 };
    for (int y = 0; y < kHorizon; ++y) {
        double t = static_cast<double>(y) / kHorizon;
        Rgb sky = t < 0.6 ? Mix(night, dusk, t / 0.6) : Mix(dusk, glow, (t - 0.6) / 0.4);
        for (int x = 0; x < kWidth; ++x)
            p.At(x, y) = sky;
    }
    uint32_t seed = 20240611u;
    for (int i = 0; i < 70; ++i) {
        int x = static_cast<int>(NextRandom(seed) % kWidth), y = static_cast<int>(NextRandom(seed) % 95);
        double bright = 0.35 + (NextRandom(seed) % 100) / 160.0;
        p.Blend(x, y, { 255, 250, 230 }, bright * (1.0 - y / 120.0));
    }
    // The moon with a crescent bitten out of it, and its glow.
    const int mx = 208, my = 38;
    for (int y = my - 30; y <= my + 30; ++y)
        for (int x = mx - 30; x <= mx + 30; ++x) {
            double d = std::hypot(x - mx, y - my), cut = std::hypot(x - mx - 6, y - my + 3);
            if (d <= 13 && cut > 11)
                p.Blend(x, y, { 255, 244, 200 }, 1.0);
            else if (d > 13)
                p.Blend(x, y, { 255, 240, 210 }, 0.18 * std::max(0.0, 1.0 - (d - 13) / 17));
        }
    // The sea: darker with depth, ripples, and the moon's path on the water.
    for (int y = kHorizon; y < kHeight; ++y) {
        double t = static_cast<double>(y - kHorizon) / (kHeight - kHorizon);
        Rgb water = Mix({ 70, 60, 110 }, { 8, 20, 48 }, t);
        for (int x = 0; x < kWidth; ++x) {
            Rgb c = water;
            if ((x * 7 + y * 13) % 23 < 2 + (y % 3))
                c = Mix(c, { 140, 130, 190 }, 0.25);
            double path = std::abs(x - mx) - 4 - t * 18;
            if (path < 0 && (x + y * 3) % 5 < 3)
                c = Mix(c, { 255, 236, 190 }, 0.55 * (1 - t));
            p.At(x, y) = c;
        }
    }
    // The lighthouse's beam, under the hill and the tower.
    const int lx = 48, lampY = 70;
    for (int y = 0; y < kHorizon; ++y)
        for (int x = lx; x < kWidth; ++x) {
            double dx = x - lx, spread = 0.06 + dx * 0.0022;
            double angle = std::atan2(y - lampY, dx) + 0.12;
            if (std::abs(angle) < spread)
                p.Blend(x, y, { 255, 240, 170 }, 0.45 * (1 - std::abs(angle) / spread) * (1 - dx / (kWidth * 1.3)));
        }
    // The hill.
    for (int x = 0; x < kWidth; ++x)
        for (int y = static_cast<int>(HillTop(x)); y < kHeight; ++y)
            if (y >= 0)
                p.At(x, y) = Mix({ 20, 34, 30 }, { 6, 10, 12 }, (y - HillTop(x)) / 60);
    // The tower: white with red bands, narrower at the top, lit windows.
    for (int y = lampY + 8; y < static_cast<int>(HillTop(lx)) + 2; ++y) {
        double half = 5 + (y - lampY - 8) * 0.06;
        for (int x = static_cast<int>(lx - half); x <= static_cast<int>(lx + half); ++x) {
            bool band = ((y - lampY - 8) / 9) % 2 == 1;
            Rgb c = band ? Rgb{ 180, 40, 40 } : Rgb{ 236, 232, 224 };
            p.At(x, y) = Mix(c, { 40, 40, 70 }, (x - (lx - half)) / (2 * half) * 0.6);
        }
    }
    for (int y = lampY; y < lampY + 8; ++y)
        for (int x = lx - 5; x <= lx + 5; ++x)
            p.At(x, y) = (x == lx - 5 || x == lx + 5) ? Rgb{ 50, 50, 60 } : Rgb{ 255, 236, 140 };
    for (int x = lx - 7; x <= lx + 7; ++x)
        p.At(x, lampY + 8) = { 50, 50, 60 };
    for (int y = lampY - 5; y < lampY; ++y)
        for (int x = lx - (y - lampY + 6); x <= lx + (y - lampY + 6); ++x)
            p.At(x, y) = { 150, 40, 40 };
    for (int y = 98; y < 102; ++y)
        for (int x = lx - 1; x <= lx + 1; ++x)
            p.At(x, y) = { 255, 210, 120 };
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args = platform::ArgumentsUtf8(argc, argv);
    if (args.size() != 1 || args[0].starts_with("-")) {
        platform::WriteStderr("Usage: tarn-sample-title OUT.png|OUT.bmp\nDraws the sample game's title picture.\n");
        return args.size() == 1 && args[0] == "--help" ? 0 : 2;
    }
    AnsiString out = platform::PathFromHost(args[0]);
    Picture picture;
    Draw(picture);
    TDIBSurface surface;
    picture.Store(surface);
    try {
        bool png = SameText(ExtractFileExt(out), ".png");
        if (png && !PngAvailable()) {
            platform::WriteStderr("tarn-sample-title: this build cannot write PNG; write a .bmp\n");
            return 1;
        }
        std::string bytes = png ? EncodePng(surface) : EncodeBitmap(surface);
        WriteFileAtomically(out, bytes);
    } catch (const Exception& e) {
        platform::WriteStderr("tarn-sample-title: " + Cp932ToUtf8Lossy(e.Message()) + "\n");
        return 1;
    }
    return 0;
}
