// The library's own bitmap handles: the stand-in for the platform's bitmap
// sections and their handles.
#pragma once

#include <memory>
#include <optional>

#include "qrimage.h"

namespace qrimage {

// A bitmap behind a handle: the header as the platform's bitmap sections
// keep it (negative height) and the pixel memory, rows top row first.
struct BitmapSection {
    BITMAPINFOHEADER header;
    std::unique_ptr<unsigned char[]> pixels;
};

// Takes the bitmap over and returns its new handle. Handles are numbers
// counted up from 1, never addresses, so no handle is given out twice in the
// life of the library: a stale handle never names a newer bitmap. Throws
// std::bad_alloc. Thread-safe.
HBITMAP AdoptBitmap(std::unique_ptr<BitmapSection> bitmap);

// Takes the bitmap back for freeing; null when the handle names no bitmap
// (null, foreign or released already). Thread-safe.
std::unique_ptr<BitmapSection> ReleaseBitmap(HBITMAP handle);

// The bitmap's description, or nullopt when the handle names no bitmap. The
// pixel pointer in it stays valid until the handle is released.
// Thread-safe.
std::optional<DIBSECTION> DescribeBitmap(HBITMAP handle);

}  // namespace qrimage
