// The icon the program group's items show where the system needs a picture
// file (the freedesktop menu): the game's title picture, cut to a square.
#pragma once

#include <string>

#include "archive/vr_files.h"
#include "setup/install_set.h"

namespace tarn {

constexpr int kTitleIconSize = 128;

// A kTitleIconSize square PNG of the title picture's middle, scaled; "" when
// there is no title picture, it cannot be read, or this build has no PNG.
std::string TitleIconPng(const TTarnInstallSet& set, TVrFileCollection& archive);

} // namespace tarn
