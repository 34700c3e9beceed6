// The picture geometry: the one place that maps modules to pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace qrimage {

// Largest pixel memory of a 32-bit picture, in bytes. Every renderer refuses
// pictures beyond it, so that all sizes fit 32-bit fields and arithmetic.
inline constexpr int64_t kMaxPixelBytes = 0x7FFFFFFF;

// A square picture of `side` x `side` pixels: a quiet zone of `quietPixels`
// on each side, then `symbolWidth` modules of `moduleSize` pixels each.
struct PictureGeometry {
    int32_t symbolWidth;
    int32_t moduleSize;
    int32_t quietPixels;  // margin * moduleSize
    int32_t side;         // (symbolWidth + 2 * margin) * moduleSize

    // Bytes of one row at 32 bits per pixel, and of the whole picture.
    std::size_t RowBytes32() const { return std::size_t(side) * 4; }
    std::size_t PictureBytes32() const { return RowBytes32() * std::size_t(side); }

    // Calls span(firstPixel, pixelCount, dark) for every module of one symbol
    // row (`symbolWidth` module bytes), left to right; firstPixel counts from
    // the picture's left edge. A module is dark when bit 0 of its byte is set.
    template <class Span>
    void ForEachModule(const unsigned char* moduleRow, Span&& span) const {
        int32_t x = quietPixels;
        for (int32_t column = 0; column < symbolWidth; ++column, x += moduleSize) {
            span(x, moduleSize, (moduleRow[column] & 1u) != 0);
        }
    }
};

// Pixels per metre for a resolution in dots per inch, rounded to the nearest
// (one inch is 0.0254 m); 0 for 0.
inline constexpr uint32_t PixelsPerMetre(uint32_t dotsPerInch) {
    return uint32_t((uint64_t(dotsPerInch) * 10000 + 127) / 254);
}

// The geometry for a symbol of `symbolWidth` modules, or nullopt, with the
// reason recorded (failure.h), when the arguments cannot make a picture:
// margin < 0, moduleSize < 1 or symbolWidth < 1 (InvalidArgument), or a
// 32-bit picture larger than kMaxPixelBytes (PictureTooLarge).
std::optional<PictureGeometry> MakeGeometry(int32_t symbolWidth, int32_t margin,
                                            int32_t moduleSize) noexcept;

}  // namespace qrimage
