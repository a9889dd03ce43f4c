// The game's title image, read from the archive and put into a paint box
// centred, stretched or tiled, as the description's ImageLayout says.
#pragma once

#include "archive/vr_files.h"
#include "setup/install_set.h"
#include "ui/paint_box.h"

namespace tarn {

// Layout 0: the picture at its own size, centred; 1: stretched over the box;
// 2: repeated over the box's current size, rows outer, columns inner; other
// values draw nothing. An empty TitleImage draws nothing. A missing entry
// raises "%s:ファイルがありません"; a damaged picture its reader's error.
void DrawTitleImage(ui::PaintBox& box, const TTarnInstallSet& installSet, TVrFileCollection& archive);

} // namespace tarn
