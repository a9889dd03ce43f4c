// Writing Gale images: the inverse of the reader for every variant it reads
// (no magic or versions 100 and up, rows in order or permuted, tiles with
// literal and repeated entries, permuted tile tables). Used for the sample
// discs' title images, the tools and test fixtures.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "base/text.h"
#include "graphics/gale.h"

namespace tarn {

struct TGaleWriterLayer {
    // The layer's picture at the frame's size and depth; its mask is written
    // as the layer's mask block when it has one.
    const TDIBSurface* Surface = nullptr;
    uint8_t Visible = 1;
    int32_t KeyColor = -1;
    int32_t Opacity = 255;
    uint8_t UseAlpha = 0;
    AnsiString Name;
};

struct TGaleWriterFrame {
    AnsiString Name;
    int32_t TransparentIndex = -1;
    int32_t FrameValue = 0;
    int32_t Width = 0, Height = 0;
    // 1, 4, 8, 15, 16, 24 or 32.
    int32_t BitCount = 24;
    std::array<TRGBQuad, 256> Colors {};
    std::vector<TGaleWriterLayer> Layers;
    std::vector<TGaleRecord> RecordsA, RecordsB;

    // A frame of one visible opaque layer showing surface (size, depth and
    // colour table taken from it); UseAlpha is set when it has a mask.
    static TGaleWriterFrame OfSurface(const TDIBSurface& surface);
};

struct TGaleWriterOptions {
    // 0: no magic; otherwise the three digits after "Gale".
    int32_t Version = 103;
    // The version that governs frames and layers in the header record of
    // version 103 and later; -1: the same as Version.
    int32_t FormatVersion = -1;
    int32_t Seed = 0;
    bool Scramble = false;
    int32_t TileWidth = 0, TileHeight = 0;
    TColor BackgroundColor = 0;
    bool OpaqueBottomLayer = false;
    // The header record's size as written (the record is 40 bytes; more are
    // written as zeros, fewer cut it short).
    int32_t HeaderSize = 40;
    // Tiles equal to an earlier tile of the same picture, or to the same place
    // of an earlier layer, are written as repeats.
    bool RepeatTiles = true;
};

// Raises EGraphicError for what the chosen version cannot hold.
std::string WriteGale(const std::vector<TGaleWriterFrame>& frames, const TGaleWriterOptions& options);

} // namespace tarn
