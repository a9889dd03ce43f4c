// Little builders for the image-file tests: TGA and icon bytes assembled from
// the format tables, independent of the project's writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/dib_surface.h"
#include "support/surface_pixels.h"

namespace tarn::test {

inline std::string Le16(uint32_t v) { return { static_cast<char>(v), static_cast<char>(v >> 8) }; }
inline std::string Le32(uint32_t v) { return Le16(v) + Le16(v >> 16); }
inline std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

// The 18-byte TGA header.
struct TgaHeaderFields {
    int idLength = 0, mapType = 0, type = 2, firstEntry = 0, mapLength = 0, entrySize = 0;
    int width = 1, height = 1, depth = 24, descriptor = 0x20;
};
inline std::string TgaHeader(const TgaHeaderFields& h)
{
    return Bytes({ h.idLength, h.mapType, h.type }) + Le16(static_cast<uint32_t>(h.firstEntry)) + Le16(static_cast<uint32_t>(h.mapLength)) +
           Bytes({ h.entrySize }) + Le16(0) + Le16(0) + Le16(static_cast<uint32_t>(h.width)) + Le16(static_cast<uint32_t>(h.height)) +
           Bytes({ h.depth, h.descriptor });
}
// The 26-byte footer.
inline std::string TgaFooter(uint32_t extension, uint32_t developer = 0)
{
    return Le32(extension) + Le32(developer) + std::string("TRUEVISION-XFILE.") + std::string(1, '\0');
}
// A 495-byte extension area carrying a key colour.
inline std::string TgaExtension(uint8_t r, uint8_t g, uint8_t b)
{
    std::string e(495, '\0');
    e[0] = static_cast<char>(495 & 0xFF), e[1] = static_cast<char>(495 >> 8);
    e[471] = static_cast<char>(r), e[472] = static_cast<char>(g), e[473] = static_cast<char>(b);
    return e;
}

inline std::vector<uint32_t> MaskOf(const TDIBSurface& s) { return s.HasMask() ? Pixels(*s.Mask()) : std::vector<uint32_t> {}; }

// The 40-byte info header of a bitmap (or of an icon image, with twice the height).
inline std::string InfoHeader(int32_t w, int32_t h, int bits, uint32_t compression = 0, uint32_t clrUsed = 0, uint32_t sizeImage = 0)
{
    return Le32(40) + Le32(static_cast<uint32_t>(w)) + Le32(static_cast<uint32_t>(h)) + Le16(1) + Le16(static_cast<uint32_t>(bits)) +
           Le32(compression) + Le32(sizeImage) + Le32(0) + Le32(0) + Le32(clrUsed) + Le32(0);
}

// An icon or cursor directory for images laid out one after another.
inline std::string IconFile(int type, const std::vector<std::string>& images, const std::vector<std::pair<int, int>>& words = {})
{
    std::string dir = Le16(0) + Le16(static_cast<uint32_t>(type)) + Le16(static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        std::pair<int, int> w = i < words.size() ? words[i] : std::pair<int, int> { 1, 0 };
        dir += Bytes({ 0, 0, 0, 0 }) + Le16(static_cast<uint32_t>(w.first)) + Le16(static_cast<uint32_t>(w.second)) +
               Le32(static_cast<uint32_t>(images[i].size())) + Le32(offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const std::string& image : images)
        dir += image;
    return dir;
}

} // namespace tarn::test
