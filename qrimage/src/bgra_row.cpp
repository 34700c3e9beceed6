#include "bgra_row.h"

#include <cstring>

namespace qrimage {

uint32_t BgraPixel(uint32_t colour) noexcept {
    const unsigned char bytes[4] = {Blue(colour), Green(colour), Red(colour), 0xFF};
    uint32_t pixel;
    std::memcpy(&pixel, bytes, sizeof pixel);
    return pixel;
}

void FillPixels(unsigned char* row, int32_t count, uint32_t pixel) noexcept {
    for (int32_t i = 0; i < count; ++i) {
        std::memcpy(row + std::size_t(i) * 4, &pixel, 4);
    }
}

void ComposeBgraRow(const PictureGeometry& geometry, const unsigned char* moduleRow,
                    const Colours& colours, unsigned char* row) noexcept {
    const uint32_t background = BgraPixel(colours.background);
    const uint32_t foreground = BgraPixel(colours.foreground);
    FillPixels(row, geometry.side, background);
    geometry.ForEachModule(moduleRow, [&](int32_t x, int32_t count, bool dark) {
        if (dark) {
            FillPixels(row + std::size_t(x) * 4, count, foreground);
        }
    });
}

}  // namespace qrimage
