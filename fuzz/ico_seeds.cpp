// Seeds from the icon writer at every depth (keys, transparency sources,
// alpha), cursors, files of several images, a bitmap under an icon's name,
// and icons written by the peers.
#include "fuzz_support.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"
#include "peer_seeds.h"

namespace tarn::fuzz {

void WriteSeeds(const AnsiString& dir)
{
    TDIBSurface alpha;
    alpha.Resize(13, 9, 8);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 13; ++x)
            alpha.SetPixel(x, y, static_cast<uint32_t>((x * 40 + y * 7) & 0xFF));
    std::vector<std::string> images;
    uint32_t noise = 5;
    for (int32_t bits : { 1, 4, 8, 15, 16, 24, 32 }) {
        TDIBSurface s;
        s.Resize(13, 9, bits);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 13; ++x)
                s.SetPixel(x, y, x < 3 ? 1 : (noise = noise * 1103515245u + 12345u) >> 9);
        for (int i = 0; i < 256; ++i)
            s.ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i * 3), static_cast<uint8_t>(i), 40, 0 };
        s.ApplyColorTable();
        std::string b = std::to_string(bits);
        std::string keyed = EncodeIcon(s, 1, TPoint {}, false, nullptr, false);
        SaveSeed(dir, "key" + b + ".ico", keyed);
        SaveSeed(dir, "alpha" + b + ".ico", EncodeIcon(s, -1, TPoint {}, false, &alpha, false));
        SaveSeed(dir, "iconalpha" + b + ".ico", EncodeIcon(s, -1, TPoint {}, true, &alpha, false));
        SaveSeed(dir, "cursor" + b + ".cur", EncodeIcon(s, -1, TPoint { 3, 4 }, false, &alpha, true));
        // Without the transparency rows, as other writers leave them out.
        std::string bare = keyed.substr(0, keyed.size() - 9 * 4);
        uint32_t resource = static_cast<uint32_t>(bare.size() - 22);
        for (int k = 0; k < 4; ++k)
            bare[static_cast<size_t>(14 + k)] = static_cast<char>(resource >> (8 * k));
        SaveSeed(dir, "bare" + b + ".ico", bare);
        images.push_back(keyed.substr(22));
    }
    // One file holding every image.
    std::string several;
    several += std::string("\0\0\1\0", 4) + static_cast<char>(images.size()) + '\0';
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (const std::string& image : images) {
        std::string entry(16, '\0');
        for (int k = 0; k < 4; ++k) {
            entry[8 + k] = static_cast<char>(image.size() >> (8 * k));
            entry[12 + k] = static_cast<char>(offset >> (8 * k));
        }
        several += entry;
        offset += static_cast<uint32_t>(image.size());
    }
    for (const std::string& image : images)
        several += image;
    SaveSeed(dir, "several.ico", several);

    TDIBSurface s;
    s.Resize(13, 9, 24);
    s.FillValue(Rect(2, 2, 9, 7), 0x3366CC);
    SaveSeed(dir, "bitmap.ico", EncodeBitmap(s));
    SaveSeed(dir, "source.bmp", EncodeBitmap(s));
    PeerSeeds(dir, dir + "source.bmp", { { "im.ico" }, { "im8.ico", "-type", "Palette" }, { "im.cur" } },
              "rgba.save(out + 'pil_bmp.ico', sizes=[rgba.size], bitmap_format='bmp')\n"
              "rgba.save(out + 'pil_png.ico', sizes=[rgba.size])\n");
}

} // namespace tarn::fuzz
