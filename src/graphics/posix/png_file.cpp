// PNG through libpng. libpng reports errors by longjmp: everything that must
// survive one lives in a heap context created before setjmp, and the functions
// that call setjmp hold no objects with destructors of their own.
#include "graphics/png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"

namespace tarn {

bool PngAvailable() { return true; }

namespace {

// Pictures above this many pixels are refused before their rows are allocated.
constexpr uint64_t MaxPngPixels = uint64_t(1) << 28;

struct PngContext {
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool writing = false;
    char message[256] = "";
    // Reading.
    const uint8_t* data = nullptr;
    size_t size = 0, position = 0;
    uint32_t width = 0, height = 0;
    int channels = 0;
    bool palette = false;
    std::vector<png_color> colors;
    std::vector<uint8_t> alphaOfIndex;
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    // Writing.
    std::string out;

    ~PngContext()
    {
        if (png && writing)
            png_destroy_write_struct(&png, &info);
        else if (png)
            png_destroy_read_struct(&png, &info, nullptr);
    }
};

void OnError(png_structp png, png_const_charp text)
{
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(ctx->message, sizeof ctx->message, "%s", text ? text : "?");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) { }

void ReadData(png_structp png, png_bytep out, size_t count)
{
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    if (count > ctx->size - ctx->position)
        png_error(png, "data ends early");
    std::memcpy(out, ctx->data + ctx->position, count);
    ctx->position += count;
}

void WriteData(png_structp png, png_bytep in, size_t count)
{
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    ctx->out.append(reinterpret_cast<const char*>(in), count);
}

void Flush(png_structp) { }

bool ReadPicture(PngContext* ctx)
{
    if (setjmp(png_jmpbuf(ctx->png)))
        return false;
    png_structp png = ctx->png;
    png_infop info = ctx->info;
    png_set_read_fn(png, ctx, ReadData);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, type = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &type, &interlace, nullptr, nullptr);
    if (static_cast<uint64_t>(w) * h > MaxPngPixels)
        png_error(png, "picture too large");
    ctx->width = w, ctx->height = h;
    if (type == PNG_COLOR_TYPE_PALETTE) {
        ctx->palette = true;
        png_colorp plte = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &plte, &count) && count > 0)
            ctx->colors.assign(plte, plte + (count > 256 ? 256 : count));
        png_bytep trans = nullptr;
        int transCount = 0;
        if (png_get_tRNS(png, info, &trans, &transCount, nullptr) && trans && transCount > 0) {
            ctx->alphaOfIndex.assign(256, 255);
            std::memcpy(ctx->alphaOfIndex.data(), trans, static_cast<size_t>(transCount > 256 ? 256 : transCount));
        }
        png_set_packing(png);
    } else {
        png_set_scale_16(png);
        png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS))
            png_set_tRNS_to_alpha(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    ctx->channels = png_get_channels(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    ctx->pixels.resize(rowBytes * h);
    ctx->rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        ctx->rows[y] = ctx->pixels.data() + rowBytes * y;
    png_read_image(png, ctx->rows.data());
    return true;
}

bool WritePicture(PngContext* ctx, int type)
{
    if (setjmp(png_jmpbuf(ctx->png)))
        return false;
    png_set_write_fn(ctx->png, ctx, WriteData, Flush);
    png_set_IHDR(ctx->png, ctx->info, ctx->width, ctx->height, 8, type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(ctx->png, ctx->info);
    png_write_image(ctx->png, ctx->rows.data());
    png_write_end(ctx->png, nullptr);
    return true;
}

uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
uint8_t Widen6(uint32_t v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

} // namespace

std::string EncodePng(const TDIBSurface& surface)
{
    if (surface.Empty())
        throw EGraphicError(msg::PngError, { "empty picture" });
    auto ctx = std::make_unique<PngContext>();
    ctx->writing = true;
    ctx->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, ctx.get(), OnError, OnWarning);
    if (!ctx->png || !(ctx->info = png_create_info_struct(ctx->png)))
        throw std::bad_alloc();
    const TDIBSurface* mask = surface.Mask();
    int channels = mask ? 4 : 3;
    ctx->width = static_cast<uint32_t>(surface.Width()), ctx->height = static_cast<uint32_t>(surface.Height());
    size_t rowBytes = static_cast<size_t>(surface.Width()) * static_cast<size_t>(channels);
    ctx->pixels.resize(rowBytes * ctx->height);
    ctx->rows.resize(ctx->height);
    int effective = surface.EffectiveDepth();
    for (int32_t y = 0; y < surface.Height(); ++y) {
        uint8_t* p = ctx->pixels.data() + rowBytes * static_cast<size_t>(y);
        ctx->rows[static_cast<size_t>(y)] = p;
        for (int32_t x = 0; x < surface.Width(); ++x, p += channels) {
            uint32_t v = surface.Pixel(x, y);
            switch (effective) {
            case 15:
                p[0] = Widen5(v >> 10 & 31), p[1] = Widen5(v >> 5 & 31), p[2] = Widen5(v & 31);
                break;
            case 16:
                p[0] = Widen5(v >> 11 & 31), p[1] = Widen6(v >> 5 & 63), p[2] = Widen5(v & 31);
                break;
            case 24:
            case 32:
                p[0] = static_cast<uint8_t>(v >> 16), p[1] = static_cast<uint8_t>(v >> 8), p[2] = static_cast<uint8_t>(v);
                break;
            default: {
                const TRGBQuad& q = surface.ColorTable[v & 0xFF];
                p[0] = q.rgbRed, p[1] = q.rgbGreen, p[2] = q.rgbBlue;
                break;
            }
            }
            if (mask)
                p[3] = static_cast<uint8_t>(mask->Pixel(x, y));
        }
    }
    if (!WritePicture(ctx.get(), mask ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB))
        throw EGraphicError(msg::PngError, { ctx->message });
    return std::move(ctx->out);
}

void DecodePng(std::string_view bytes, TDIBSurface& surface)
{
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0)
        throw EGraphicError(msg::PngError, { "not a PNG picture" });
    auto ctx = std::make_unique<PngContext>();
    ctx->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, ctx.get(), OnError, OnWarning);
    if (!ctx->png || !(ctx->info = png_create_info_struct(ctx->png)))
        throw std::bad_alloc();
    ctx->data = reinterpret_cast<const uint8_t*>(bytes.data());
    ctx->size = bytes.size();
    if (!ReadPicture(ctx.get()))
        throw EGraphicError(msg::PngError, { ctx->message });
    int32_t w = static_cast<int32_t>(ctx->width), h = static_cast<int32_t>(ctx->height);
    size_t rowBytes = ctx->height ? ctx->pixels.size() / ctx->height : 0;
    surface.FreeMask();
    if (ctx->palette) {
        surface.Resize(w, h, 8);
        surface.ColorTable = {};
        for (size_t i = 0; i < ctx->colors.size(); ++i)
            surface.ColorTable[i] = { ctx->colors[i].blue, ctx->colors[i].green, ctx->colors[i].red, 0 };
        surface.ApplyColorTable();
        if (!ctx->alphaOfIndex.empty())
            surface.NeedMask();
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* p = ctx->rows[static_cast<size_t>(y)];
            std::memcpy(surface.RowAddress(y), p, static_cast<size_t>(w));
            if (surface.HasMask())
                for (int32_t x = 0; x < w; ++x)
                    surface.Mask()->RowAddress(y)[x] = ctx->alphaOfIndex[p[x]];
        }
        return;
    }
    surface.Resize(w, h, 24);
    if (ctx->channels == 4)
        surface.NeedMask();
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = ctx->pixels.data() + rowBytes * static_cast<size_t>(y);
        uint8_t* d = surface.RowAddress(y);
        uint8_t* m = ctx->channels == 4 ? surface.Mask()->RowAddress(y) : nullptr;
        for (int32_t x = 0; x < w; ++x, p += ctx->channels, d += 3) {
            d[0] = p[0], d[1] = p[1], d[2] = p[2];
            if (m)
                m[x] = p[3];
        }
    }
}

} // namespace tarn
