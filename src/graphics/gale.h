// Gale images: frames made of layers, each frame composed into one surface.
// Pixel blocks are stored uncompressed, as rows (permuted by a seed or in
// order) or as tiles that may repeat tiles of the same picture or of earlier
// frames' layers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/stream.h"
#include "graphics/dib_surface.h"

namespace tarn {

class TGaleFrame;
class TGaleFrameList;

class TGaleLayer {
public:
    explicit TGaleLayer(TGaleFrame* frame) : Frame(frame) { }

    TGaleFrame* Frame;
    // The layer's picture at the frame's size and depth; may carry a mask.
    TDIBSurface Surface;
    uint8_t Visible = 0;
    // A pixel value treated as transparent by translucent drawing; -1 = none.
    int32_t KeyColor = -1;
    int32_t Opacity = 0;
    // Nonzero: the mask is the layer's per-pixel alpha.
    uint8_t UseAlpha = 0;
};

using TGaleRecord = std::array<uint8_t, 16>;

class TGaleFrame {
public:
    explicit TGaleFrame(TGaleFrameList* list) : List(list) { }

    int32_t FrameValue = 0;
    // The composed picture.
    TDIBSurface Surface;
    // A pixel value (-1 = none) and the colour it shows (-1 when none).
    int32_t TransparentIndex = -1;
    int32_t TransparentColor = -1;
    TGaleFrameList* List;
    // Kept as read, never interpreted.
    std::vector<TGaleRecord> RecordsA, RecordsB;

    bool HasMask() const { return Surface.HasMask(); }
    // Layers exist only while the file is read.
    int32_t LayerCount() const { return static_cast<int32_t>(layers_.size()); }
    TGaleLayer& Layers(int32_t index);
    TGaleLayer& AddLayer();
    void ClearLayers() { layers_.clear(); }

private:
    std::vector<std::unique_ptr<TGaleLayer>> layers_;
};

class TGaleFrameList {
public:
    explicit TGaleFrameList(int32_t seed) : Seed(seed) { }
    TGaleFrameList(const TGaleFrameList&) = delete;
    TGaleFrameList& operator=(const TGaleFrameList&) = delete;
    // Moving hands the frames over; they then name the new list as theirs.
    TGaleFrameList(TGaleFrameList&& other) noexcept : Seed(other.Seed) { *this = std::move(other); }
    TGaleFrameList& operator=(TGaleFrameList&& other) noexcept;

    // The colour every frame is filled with before its layers are drawn; a
    // file without one (versions below 102) leaves it as it is.
    TColor BackgroundColor = 0;
    // The version of the magic (0 for a file without it).
    int32_t Version = 0;
    // When above 0, frames with a mask or without a transparent colour are
    // converted to this depth after reading (ConvertDepth, mode 0, option 1).
    int32_t ConvertBitCount = 0;
    int32_t Seed;
    bool OpaqueBottomLayer = false;

    // What the header said, for tools that describe a file.
    int32_t FormatVersion = 0;
    int32_t HeaderFrameCount = 0;
    bool Scrambled = false;
    int32_t TileWidth = 0, TileHeight = 0;

    // The most pixel memory (surfaces of frames, layers and masks together)
    // one load may hold; a file that needs more is refused.
    int64_t MaxPixelBytes = int64_t(1) << 30;

    // Reads a file from the stream's position and leaves the stream after the
    // last frame read. Replaces the contents. On an error the frames read
    // completely stay and the exception goes on.
    void LoadFromStream(TStream& stream, bool firstFrameOnly);
    // The same on bytes in memory; returns how many were used.
    size_t LoadFromBytes(std::string_view bytes, bool firstFrameOnly);
    void Clear() { frames_.clear(); }

    TGaleFrame& Frames(int32_t index);
    const TGaleFrame& Frames(int32_t index) const { return const_cast<TGaleFrameList*>(this)->Frames(index); }
    int32_t Count() const { return static_cast<int32_t>(frames_.size()); }

private:
    friend struct GaleLoader;
    std::vector<std::unique_ptr<TGaleFrame>> frames_;
};

} // namespace tarn
