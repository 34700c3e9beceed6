// The PNG writer.
#pragma once

#include <png.h>

#include "outputs/byte_sink.h"
#include "render/picture.h"

namespace qrimage {

// Writes the picture as a 1-bit palette PNG: IHDR (bit depth 1, colour type
// 3, no interlace), PLTE with entry 0 the foreground and entry 1 the
// background colour, tRNS (for Opacity::Ignored always 255 and 255, else
// both opacities when either is below 255), pHYs in pixels per metre when the
// picture has a resolution, the image data and IEND; no other chunk, and libpng's default
// compression and filters. Holds one packed row of (side + 7) / 8 bytes, never the whole picture.
// Returns false when libpng or the sink reported an error, with the reason recorded (failure.h):
// the sink's, else OutOfMemory. libpng prints nothing. The sink may have received part of the PNG.
// Throws std::bad_alloc when the row cannot be allocated.
bool WritePng(const Picture& picture, ByteSink& sink);

}  // namespace qrimage
