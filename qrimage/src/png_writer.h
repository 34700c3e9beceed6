// The PNG writer shared by the file and the memory exports.
#pragma once

#include <png.h>

#include "picture.h"

namespace qrimage {

// Where libpng's output goes. `write` may end the write with png_error (it
// then must hold no object with a destructor, and records why first);
// `flush` may do nothing.
struct PngSink {
    png_rw_ptr write;
    png_flush_ptr flush;
    void* io;
};

// Writes the picture as a 1-bit palette PNG: IHDR (bit depth 1, colour type
// 3, no interlace), PLTE with entry 0 the foreground and entry 1 the
// background colour, tRNS 255 and 255, the image data and IEND; no other
// chunk, and libpng's default compression and filters. Holds one packed row
// of (side + 7) / 8 bytes, never the whole picture. Returns false when libpng
// or the sink reported an error, with the reason recorded (failure.h): the
// sink's, else OutOfMemory. libpng prints nothing. The sink may have received
// part of the PNG. Throws std::bad_alloc when the row cannot be allocated.
bool WritePng(const Picture& picture, const PngSink& sink);

}  // namespace qrimage
