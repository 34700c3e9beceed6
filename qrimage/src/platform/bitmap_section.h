// Bitmap sections: the platform's 32-bit top-down bitmaps behind an HBITMAP.
#pragma once

#include <qrimage.h>

#include "render/picture.h"

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

#if !defined(_WIN32)
// GetObjectW of the stand-in: fills a DIBSECTION or BITMAP record by `size`
// and returns the bytes written; 0, with InvalidArgument recorded, for an
// unknown handle or a size too small.
int32_t GetBitmapObject(HBITMAP handle, int32_t size, void* out);

// DeleteObject of the stand-in: 1 when it released the bitmap, else 0 with
// InvalidArgument recorded.
int32_t DeleteBitmap(HBITMAP handle);
#endif

}  // namespace qrimage
