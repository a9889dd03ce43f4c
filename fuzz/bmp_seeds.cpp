// Seeds from the bitmap writer at every depth, 32-bit pictures with alpha,
// and bitmaps written by the peers (other header sizes, top-down rows).
#include "fuzz_support.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"
#include "peer_seeds.h"

namespace tarn::fuzz {

void WriteSeeds(const AnsiString& dir)
{
    uint32_t noise = 77;
    TDIBSurface alpha;
    alpha.Resize(11, 6, 8);
    for (int32_t x = 0; x < 11; ++x)
        alpha.SetPixel(x, 2, static_cast<uint32_t>(x * 23));
    for (int32_t bits : { 1, 4, 8, 15, 16, 24, 32 }) {
        TDIBSurface s;
        s.Resize(11, 6, bits);
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < 11; ++x)
                s.SetPixel(x, y, (noise = noise * 1103515245u + 12345u) >> 5);
        for (int i = 0; i < 256; ++i)
            s.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), 9, static_cast<uint8_t>(255 - i), 0 };
        std::string b = std::to_string(bits);
        SaveSeed(dir, "plain" + b + ".bmp", EncodeBitmap(s, false));
        SaveSeed(dir, "fields" + b + ".bmp", EncodeBitmap(s, true));
        SaveSeed(dir, "alpha" + b + ".bmp", EncodeBitmapAlpha(s, alpha));
    }
    TDIBSurface s;
    s.Resize(11, 6, 24);
    s.FillValue(Rect(1, 1, 8, 5), 0xCC6633);
    SaveSeed(dir, "source.bmp", EncodeBitmap(s));
    PeerSeeds(dir, dir + "source.bmp",
              { { "BMP3:im3.bmp" }, { "im4.bmp", "-alpha", "on" }, { "im8rle.bmp", "-type", "Palette" }, { "BMP2:im2.bmp" } },
              "rgba.convert('RGB').save(out + 'pil24.bmp')\n"
              "rgba.convert('P').save(out + 'pil8.bmp')\n"
              "rgba.convert('1').save(out + 'pil1.bmp')\n"
              "rgba.convert('L').save(out + 'pilg.bmp')\n");
}

} // namespace tarn::fuzz
