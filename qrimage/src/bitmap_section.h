// Bitmap sections: the platform's 32-bit top-down bitmaps behind an HBITMAP.
#pragma once

#include <qrimage.h>

#include "picture.h"

namespace qrimage {

// The header of a section for the picture: side x -side pixels (top row
// first), one plane of 32 bits, BI_RGB, image size filled in.
BITMAPINFOHEADER SectionHeader(const PictureGeometry& geometry);

// Draws the picture into `pixels` (geometry.PictureBytes32() bytes), top row
// first, each pixel blue, green, red, 255. Throws std::bad_alloc when its
// scratch row cannot be allocated.
void DrawPicture(const Picture& picture, unsigned char* pixels);

// A new bitmap section holding the picture, owned by the caller (released
// with DeleteObject), or null when the platform gives none. On Windows a GDI
// DIB section; elsewhere the library's own stand-in. Throws std::bad_alloc.
HBITMAP MakeBitmapSection(const Picture& picture);

}  // namespace qrimage
