// Rows of 32-bit pixels (blue, green, red, 255), shared by the bitmap and BMP
// renderers.
#pragma once

#include <cstdint>

#include "colours/colours.h"
#include "render/geometry.h"

namespace qrimage {

// One pixel's four bytes as a word in memory order, so rows fill with whole
// 32-bit stores on any byte order.
uint32_t BgraPixel(uint32_t colour) noexcept;

// Sets `count` pixels starting at `row` to `pixel` (from BgraPixel).
void FillPixels(unsigned char* row, int32_t count, uint32_t pixel) noexcept;

// Composes one picture row of a symbol row: quiet zone and light modules in
// the background, dark modules in the foreground. `row` holds
// geometry.RowBytes32() bytes.
void ComposeBgraRow(const PictureGeometry& geometry, const unsigned char* moduleRow,
                    const Colours& colours, unsigned char* row) noexcept;

}  // namespace qrimage
