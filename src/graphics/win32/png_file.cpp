// The Windows build has no libpng; PNG is refused with a message until the
// platform's imaging codec is wired in.
#include "graphics/png_file.h"

#include "graphics/dib_surface.h"
#include "graphics/graphics_messages.h"

namespace tarn {

bool PngAvailable() { return false; }

std::string EncodePng(const TDIBSurface&) { throw EGraphicError(msg::PngUnsupported, {}); }

void DecodePng(std::string_view, TDIBSurface&) { throw EGraphicError(msg::PngUnsupported, {}); }

} // namespace tarn
