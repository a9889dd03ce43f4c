// Seeds in every variant the writer makes (each depth, plain and run-length,
// with and without key and alpha), the orientations and grey and 16-bit
// colour-map files it does not make, and files written by the peers.
#include "fuzz_support.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"
#include "peer_seeds.h"

namespace tarn::fuzz {

namespace {

void Picture(TDIBSurface& s, int32_t bits)
{
    uint32_t noise = 99;
    s.Resize(19, 7, bits);
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 19; ++x)
            s.SetPixel(x, y, x < 8 ? 3 : (noise = noise * 1103515245u + 12345u) >> 7);
    for (int i = 0; i < 256; ++i)
        s.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7), 0 };
    s.ApplyColorTable();
}

} // namespace

void WriteSeeds(const AnsiString& dir)
{
    TDIBSurface alpha;
    alpha.Resize(19, 7, 8);
    for (int32_t x = 0; x < 19; ++x)
        alpha.SetPixel(x, 3, static_cast<uint32_t>(x * 13));
    for (int32_t bits : { 1, 4, 8, 15, 16, 24, 32 }) {
        TDIBSurface s;
        Picture(s, bits);
        std::string b = std::to_string(bits);
        SaveSeed(dir, "plain" + b + ".tga", EncodeTga(s, -1, false, nullptr));
        std::string rle = EncodeTga(s, 3, true, nullptr);
        SaveSeed(dir, "rle_key" + b + ".tga", rle);
        size_t map = bits <= 8 ? 768 : 0;
        SaveSeed(dir, "rle_cut" + b + ".tga", rle.substr(0, 18 + map + (rle.size() - 18 - map) / 3));
        // Other origins and a right-to-left order.
        for (int descriptor : { 0x00, 0x10, 0x30 }) {
            std::string d = rle;
            d[17] = static_cast<char>(descriptor);
            SaveSeed(dir, "rle_desc" + std::to_string(descriptor) + "_" + b + ".tga", d);
        }
    }
    TDIBSurface s;
    Picture(s, 24);
    SaveSeed(dir, "alpha.tga", EncodeTga(s, -1, true, &alpha));
    // Grey pictures without a map, and a map of 16-bit entries after an identification field.
    Picture(s, 8);
    std::string grey = EncodeTga(s, -1, false, nullptr);
    std::string header = grey.substr(0, 18);
    header[1] = 0, header[2] = 3, header[5] = header[6] = 0;
    SaveSeed(dir, "grey.tga", header + grey.substr(18 + 768));
    std::string rle = EncodeTga(s, -1, true, nullptr);
    header[2] = 11;
    SaveSeed(dir, "grey_rle.tga", header + rle.substr(18 + 768));
    header = grey.substr(0, 18);
    header[0] = 5, header[3] = 2, header[5] = 16, header[6] = 0, header[7] = 16;
    std::string map;
    for (int i = 0; i < 16; ++i)
        map += static_cast<char>(i * 33), map += static_cast<char>(0x7C - i);
    SaveSeed(dir, "map16.tga", header + "ident" + map + grey.substr(18 + 768));

    // Files of other writers.
    Picture(s, 24);
    SaveSeed(dir, "source.bmp", EncodeBitmap(s));
    PeerSeeds(dir, dir + "source.bmp",
              { { "im24.tga", "-compress", "None" },
                { "im24rle.tga", "-compress", "RLE", "-orient", "TopLeft" },
                { "im8.tga", "-type", "Palette", "-compress", "RLE" },
                { "img.tga", "-type", "Grayscale" },
                { "im16.tga", "-depth", "5", "-compress", "RLE" },
                { "im32.tga", "-alpha", "on", "-compress", "RLE" } },
              "rgba.convert('RGB').save(out + 'pil24.tga', compression='tga_rle', orientation=-1)\n"
              "rgba.save(out + 'pil32.tga', orientation=1)\n"
              "rgba.convert('P').save(out + 'pil8.tga', compression='tga_rle')\n"
              "rgba.convert('L').save(out + 'pilg.tga')\n");
}

} // namespace tarn::fuzz
