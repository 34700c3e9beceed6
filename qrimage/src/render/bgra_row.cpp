#include "render/bgra_row.h"

#include <cstring>

namespace qrimage {
namespace {

// Plain 4-byte stores: the fastest way for the few pixels of one module.
inline void StorePixels(unsigned char* row, int32_t count, uint32_t pixel) noexcept {
    for (int32_t i = 0; i < count; ++i) {
        std::memcpy(row + std::size_t(i) * 4, &pixel, 4);
    }
}

}  // namespace

uint32_t BgraPixel(uint32_t colour) noexcept {
    const unsigned char bytes[4] = {Blue(colour), Green(colour), Red(colour), 0xFF};
    uint32_t pixel;
    std::memcpy(&pixel, bytes, sizeof pixel);
    return pixel;
}

void FillPixels(unsigned char* row, int32_t count, uint32_t pixel) noexcept {
    // A module is a few pixels: plain stores. Long runs (a quiet band is
    // megabytes) are filled by copying what is already filled, doubling each
    // time, so they go at memcpy speed.
    constexpr int32_t kShortRun = 16;
    if (count < kShortRun) {
        StorePixels(row, count, pixel);
        return;
    }
    const std::size_t total = std::size_t(count) * 4;
    std::memcpy(row, &pixel, 4);
    std::size_t filled = 4;
    while (filled < total) {
        const std::size_t chunk = filled < total - filled ? filled : total - filled;
        std::memcpy(row + filled, row, chunk);
        filled += chunk;
    }
}

void ComposeBgraRow(const PictureGeometry& geometry, const unsigned char* moduleRow,
                    const Colours& colours, unsigned char* row) noexcept {
    const uint32_t background = BgraPixel(colours.background);
    const uint32_t foreground = BgraPixel(colours.foreground);
    const std::size_t symbolEnd = std::size_t(geometry.side - geometry.quietPixels);
    FillPixels(row, geometry.quietPixels, background);
    // Every module pixel is written once, with a colour chosen without a
    // branch: dark and light modules alternate at random, and mispredicted
    // branches would cost more than all the stores of the row.
    geometry.ForEachModule(moduleRow, [&](int32_t x, int32_t count, bool dark) {
        StorePixels(row + std::size_t(x) * 4, count, dark ? foreground : background);
    });
    FillPixels(row + symbolEnd * 4, geometry.quietPixels, background);
}

}  // namespace qrimage
