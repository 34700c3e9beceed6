// The BMP writer.
#pragma once

#include "outputs/byte_sink.h"
#include "render/picture.h"

namespace qrimage {

// Writes the picture as an uncompressed 32-bit BMP: 14-byte file header,
// 40-byte info header (pixels per metre from the picture's resolution, 0
// without one), then the rows bottom row first, each pixel blue, green, red,
// 255: BMP keeps no opacity. Holds about 256 KiB of rows, never the whole
// picture. Returns false when the sink failed (it recorded why); the sink may
// have received part of the file. Throws std::bad_alloc.
bool WriteBmp(const Picture& picture, ByteSink& sink);

}  // namespace qrimage
