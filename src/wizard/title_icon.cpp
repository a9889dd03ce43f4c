#include "wizard/title_icon.h"

#include <algorithm>

#include "base/error.h"
#include "graphics/gale_entry.h"
#include "graphics/png_file.h"

namespace tarn {

std::string TitleIconPng(const TTarnInstallSet& set, TVrFileCollection& archive)
{
    if (set.TitleImage.empty() || !PngAvailable())
        return std::string();
    try {
        std::unique_ptr<TGaleFrameList> frames = LoadGaleEntry(archive, set.TitleImage, set.ImageSeed);
        const TDIBSurface& picture = frames->Frames(0).Surface;
        const int32_t w = picture.Width(), h = picture.Height();
        if (w <= 0 || h <= 0)
            return std::string();
        TDIBSurface icon;
        icon.Resize(kTitleIconSize, kTitleIconSize, 24);
        // The shorter side fills the square; the longer one is cut evenly.
        const int64_t side = std::min(w, h);
        const int32_t dw = static_cast<int32_t>(int64_t(w) * kTitleIconSize / side);
        const int32_t dh = static_cast<int32_t>(int64_t(h) * kTitleIconSize / side);
        const int32_t left = (kTitleIconSize - dw) / 2, top = (kTitleIconSize - dh) / 2;
        icon.Canvas().StretchDraw(Rect(left, top, left + dw, top + dh), picture);
        return EncodePng(icon);
    } catch (const Exception&) {
        return std::string(); // the items then show the menu's own icon
    }
}

} // namespace tarn
