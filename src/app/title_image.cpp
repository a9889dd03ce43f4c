#include "app/title_image.h"

#include "graphics/gale_entry.h"

namespace tarn {

void DrawTitleImage(ui::PaintBox& box, const TTarnInstallSet& installSet, TVrFileCollection& archive)
{
    if (installSet.TitleImage.empty())
        return;
    TDIBSurface& bitmap = box.Bitmap();
    std::unique_ptr<TGaleFrameList> frames = LoadGaleEntry(archive, installSet.TitleImage, installSet.ImageSeed);
    const TDIBSurface& picture = frames->Frames(0).Surface;
    const int32_t w = picture.Width(), h = picture.Height();
    switch (installSet.ImageLayout) {
    case 0:
    case 1:
        // Every pixel is drawn over at once: no need to clear the block first.
        bitmap.ResizeForOverwrite(w, h, 24);
        if (!bitmap.Empty())
            bitmap.Canvas().Draw(0, 0, picture);
        if (installSet.ImageLayout == 1)
            box.SetStretch(true);
        else
            box.SetCenter(true);
        break;
    case 2:
        // A degenerate picture tiles nothing (and must not loop): the box stays
        // empty rather than showing a blank bitmap.
        if (w <= 0 || h <= 0)
            break;
        bitmap.Resize(box.Width(), box.Height(), 24);
        if (!bitmap.Empty())
            for (int32_t y = 0; y < box.Height(); y += h)
                for (int32_t x = 0; x < box.Width(); x += w)
                    bitmap.Canvas().Draw(x, y, picture);
        break;
    default:
        break;
    }
    box.Invalidate();
}

} // namespace tarn
