// Gale decoding and the surface's block transfers over 1920 x 1080 pictures,
// against memcpy of the same bytes and pixman's equivalent composites, all in
// the same run on the same buffers.
#include <pixman.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/stream.h"
#include "bench_util.h"
#include "graphics/gale.h"
#include "graphics/gale_writer.h"

using namespace tarn;

namespace {

constexpr int32_t W = 1920, H = 1080;
constexpr int Repeats = 4; // calls per timed run, so that one run lasts a few milliseconds

void Noise(TDIBSurface& s, uint32_t seed)
{
    std::mt19937 rng(seed);
    for (size_t i = 0; i + 4 <= s.ImageSize(); i += 4) {
        uint32_t v = rng();
        std::memcpy(s.Bits() + i, &v, 4);
    }
}

// Seconds for one memcpy of bytes between two warm buffers.
double MemcpySeconds(size_t bytes)
{
    std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
    return bench::MedianSeconds(7, [&] {
               for (int i = 0; i < Repeats; ++i) {
                   std::memcpy(b.data(), a.data(), bytes);
                   a[static_cast<size_t>(i)] = b[bytes - 1 - static_cast<size_t>(i)];
               }
           }) /
           Repeats;
}

double Ms(double s) { return s * 1000; }

void GaleDecode(int argc, char** argv, const char* name, int32_t tile, double goal)
{
    if (!bench::Selected(argc, argv, name))
        return;
    TDIBSurface picture;
    picture.Resize(W, H, 24);
    Noise(picture, 1);
    TGaleWriterOptions o;
    o.Seed = 0x5EED;
    o.TileWidth = o.TileHeight = tile;
    o.Scramble = true; // permuted rows, or tiles in a permuted table
    o.RepeatTiles = false;
    std::string bytes = WriteGale({ TGaleWriterFrame::OfSurface(picture) }, o);
    TMemoryStream stream;
    stream.Assign(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    TGaleFrameList list(o.Seed);
    double decode = bench::MedianSeconds(7, [&] {
                        for (int i = 0; i < Repeats; ++i) {
                            stream.SetPosition(0);
                            list.LoadFromStream(stream, true);
                        }
                    }) /
                    Repeats;
    if (std::memcmp(list.Frames(0).Surface.Bits(), picture.Bits(), picture.ImageSize()) != 0)
        bench::Note("decoded picture differs!");
    double copy = MemcpySeconds(picture.ImageSize());
    bench::Note(std::string(name) + ": decode " + std::to_string(Ms(decode)) + " ms, memcpy of the " + std::to_string(picture.ImageSize()) +
                " pixel bytes " + std::to_string(Ms(copy)) + " ms");
    bench::Report(name, copy / decode, "x_memcpy_throughput", ">=", goal);
}

pixman_image_t* Wrap(TDIBSurface& s, pixman_format_code_t format)
{
    return pixman_image_create_bits(format, s.Width(), s.Height(), reinterpret_cast<uint32_t*>(s.Bits()), s.Stride());
}

void Transfers(int argc, char** argv)
{
    for (int32_t depth : { 8, 16, 24, 32 }) {
        std::string suffix = "_" + std::to_string(depth);
        bool any = false;
        for (const char* op : { "blitrect", "blitkeyed", "blittranslucent", "blitalpha" })
            any = any || bench::Selected(argc, argv, std::string(op) + suffix);
        if (!any)
            continue;
        TDIBSurface src, dst;
        src.Resize(W, H, depth);
        dst.Resize(W, H, depth);
        Noise(src, 2);
        Noise(dst, 3);
        src.NeedMask();
        Noise(*src.Mask(), 4);
        TRect all = src.FullRect();
        double copy = MemcpySeconds(src.ImageSize());
        auto time = [&](auto&& fn) {
            return bench::MedianSeconds(7, [&] {
                       for (int i = 0; i < Repeats; ++i)
                           fn();
                   }) /
                   Repeats;
        };
        double rect = time([&] { dst.BlitRect(0, 0, all, src); });
        double keyed = time([&] { dst.BlitKeyed(0, 0, all, 0x1234, src); });
        double translucent = time([&] { dst.BlitTranslucent(0, 0, all, 100, -1, src); });
        double alpha = time([&] { dst.BlitAlpha(0, 0, all, src); });
        bench::Note("depth " + std::to_string(depth) + ": memcpy " + std::to_string(Ms(copy)) + " ms, BlitRect " + std::to_string(Ms(rect)) +
                    " ms, BlitKeyed " + std::to_string(Ms(keyed)) + " ms, BlitTranslucent " + std::to_string(Ms(translucent)) +
                    " ms, BlitAlpha " + std::to_string(Ms(alpha)) + " ms");
        if (bench::Selected(argc, argv, "blitrect" + suffix))
            bench::Report("blitrect" + suffix, copy / rect, "x_memcpy_throughput", ">=", 0.7);
        if (depth != 32)
            continue;
        // pixman: OVER with a constant-alpha solid mask, and with the 8-bit mask as per-pixel alpha.
        pixman_image_t* ps = Wrap(src, PIXMAN_x8r8g8b8);
        pixman_image_t* pd = Wrap(dst, PIXMAN_x8r8g8b8);
        pixman_image_t* pm = Wrap(*src.Mask(), PIXMAN_a8);
        pixman_color_t c = { 0, 0, 0, static_cast<uint16_t>(100 * 257) };
        pixman_image_t* solid = pixman_image_create_solid_fill(&c);
        double pixConst = time([&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, solid, pd, 0, 0, 0, 0, 0, 0, W, H); });
        double pixMask = time([&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, pm, pd, 0, 0, 0, 0, 0, 0, W, H); });
        pixman_image_unref(solid);
        pixman_image_unref(pm);
        pixman_image_unref(pd);
        pixman_image_unref(ps);
        bench::Note("pixman OVER x8r8g8b8: constant alpha " + std::to_string(Ms(pixConst)) + " ms, a8 mask " + std::to_string(Ms(pixMask)) + " ms");
        if (bench::Selected(argc, argv, "blittranslucent_32"))
            bench::Report("blittranslucent_32_vs_pixman", pixConst / translucent, "x_pixman_throughput", ">=", 1.0);
        if (bench::Selected(argc, argv, "blitalpha_32"))
            bench::Report("blitalpha_32_vs_pixman", pixMask / alpha, "x_pixman_throughput", ">=", 1.0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    GaleDecode(argc, argv, "gale_decode_rows", 0, 0.3);
    GaleDecode(argc, argv, "gale_decode_tiles", 64, 0.25);
    Transfers(argc, argv);
    return 0;
}
