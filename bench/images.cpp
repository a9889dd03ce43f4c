// TGA run-length encoding and decoding of 1920 x 1080 32-bit pictures, a
// photo-like one (smooth colours with grain: few equal neighbours) and a
// flat one (large areas of one colour: long runs), against stb_image_write
// and stb_image on the same pictures in the same run. Both decoders read the
// same file.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"

using namespace tarn;

namespace {

constexpr int32_t W = 1920, H = 1080;

void PhotoLike(TDIBSurface& s)
{
    std::mt19937 rng(3);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = s.RowAddress(y);
        for (int32_t x = 0; x < W; ++x) {
            double u = x / double(W), v = y / double(H);
            int grain = static_cast<int>(rng() % 7) - 3;
            auto channel = [&](double f) { return static_cast<uint8_t>(std::clamp(static_cast<int>(f) + grain, 0, 255)); };
            row[4 * x] = channel(128 + 100 * std::sin(6 * u + 2 * v));
            row[4 * x + 1] = channel(120 + 90 * std::cos(4 * v - 3 * u));
            row[4 * x + 2] = channel(60 + 180 * u * v);
            row[4 * x + 3] = 0;
        }
    }
}

void Flat(TDIBSurface& s)
{
    s.FillValue(s.FullRect(), 0x203040);
    std::mt19937 rng(5);
    for (int i = 0; i < 60; ++i) {
        int32_t x = static_cast<int32_t>(rng() % W), y = static_cast<int32_t>(rng() % H);
        s.FillValue(Rect(x, y, x + 40 + static_cast<int32_t>(rng() % 500), y + 20 + static_cast<int32_t>(rng() % 300)), rng() & 0xFFFFFF);
    }
}

// The picture as stb takes it: RGBA, rows top first.
std::vector<uint8_t> RgbaOf(const TDIBSurface& s)
{
    std::vector<uint8_t> out(static_cast<size_t>(W) * H * 4);
    for (int32_t y = 0; y < H; ++y) {
        const uint8_t* row = s.RowAddress(y);
        uint8_t* to = out.data() + static_cast<size_t>(y) * W * 4;
        for (int32_t x = 0; x < W; ++x)
            to[4 * x] = row[4 * x + 2], to[4 * x + 1] = row[4 * x + 1], to[4 * x + 2] = row[4 * x], to[4 * x + 3] = row[4 * x + 3];
    }
    return out;
}

void Append(void* context, void* data, int size) { static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size)); }

double Ms(double s) { return s * 1000; }

void Measure(int argc, char** argv, const std::string& content, void (*paint)(TDIBSurface&))
{
    const std::string encodeName = "tga_rle_encode_" + content, decodeName = "tga_rle_decode_" + content;
    if (!bench::Selected(argc, argv, encodeName) && !bench::Selected(argc, argv, decodeName))
        return;
    TDIBSurface picture;
    picture.Resize(W, H, 32);
    paint(picture);
    std::vector<uint8_t> rgba = RgbaOf(picture);

    // Both encoders write into a buffer that keeps its memory from run to run,
    // and both decoders make a new picture every time (stb has no other way).
    std::string ours, theirs;
    double oursEncode = bench::MedianSeconds(7, [&] { EncodeTga(picture, -1, true, nullptr, ours); });
    stbi_write_tga_with_rle = 1;
    double stbEncode = bench::MedianSeconds(7, [&] {
        theirs.clear();
        stbi_write_tga_to_func(Append, &theirs, W, H, 4, rgba.data());
    });

    TDIBSurface decoded;
    int32_t key = -1;
    TLoadResults results;
    double oursDecode = bench::MedianSeconds(7, [&] {
        TDIBSurface fresh;
        DecodeTga(ours, fresh, key, results, false);
    });
    DecodeTga(ours, decoded, key, results, false);
    int w = 0, h = 0, channels = 0;
    double stbDecode = bench::MedianSeconds(7, [&] {
        stbi_uc* p = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(ours.data()), static_cast<int>(ours.size()), &w, &h, &channels, 4);
        stbi_image_free(p);
    });
    // Both read the same pixels from the file.
    stbi_uc* check = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(ours.data()), static_cast<int>(ours.size()), &w, &h, &channels, 4);
    bool same = check && w == W && h == H && std::memcmp(check, rgba.data(), rgba.size()) == 0 &&
                std::memcmp(decoded.Bits(), picture.Bits(), picture.ImageSize()) == 0;
    stbi_image_free(check);
    if (!same)
        bench::Note(content + ": the decoded pictures differ!");
    bench::Note(content + ": encode " + std::to_string(Ms(oursEncode)) + " ms (" + std::to_string(ours.size()) + " bytes), stb " +
                std::to_string(Ms(stbEncode)) + " ms (" + std::to_string(theirs.size()) + " bytes); decode " + std::to_string(Ms(oursDecode)) +
                " ms, stb " + std::to_string(Ms(stbDecode)) + " ms");
    if (bench::Selected(argc, argv, encodeName))
        bench::Report(encodeName, stbEncode / oursEncode, "x_stb_throughput", ">=", 1.0);
    if (bench::Selected(argc, argv, decodeName))
        bench::Report(decodeName, stbDecode / oursDecode, "x_stb_throughput", ">=", 1.0);
}

} // namespace

int main(int argc, char** argv)
{
    Measure(argc, argv, "photo", PhotoLike);
    Measure(argc, argv, "flat", Flat);
    return 0;
}
