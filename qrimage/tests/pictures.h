// Pictures read back from the library's outputs, for comparison: 4 bytes a
// pixel (blue, green, red, alpha), top row first; side 0 when unreadable.
#pragma once

#include <png.h>

#include <cmath>

#include "support.h"

namespace qrtest {

struct Picture {
    int side = 0;
    std::string bgra;
    bool operator==(const Picture&) const = default;
};

inline Picture FromBitmap(const Library& library, HBITMAP bitmap) {
    std::string bgra = BitmapBytes(library, bitmap);
    return {int(std::sqrt(bgra.size() / 4)), std::move(bgra)};
}

inline Picture FromBmp(const std::string& bmp) {  // 54 header bytes, then rows bottom row first
    const std::size_t side = bmp.size() < 54 ? 0 : uint8_t(bmp[18]) | uint8_t(bmp[19]) << 8;
    if (bmp.size() != 54 + 4 * side * side) {
        return {};
    }
    Picture picture{int(side), {}};
    for (std::size_t row = side; row-- > 0;) {
        picture.bgra += bmp.substr(54 + row * side * 4, side * 4);
    }
    return picture;
}

inline Picture FromPng(const std::string& png) {  // read by libpng
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        return {};
    }
    image.format = PNG_FORMAT_BGRA;
    Picture picture{int(image.width), std::string(PNG_IMAGE_SIZE(image), '\0')};
    return png_image_finish_read(&image, nullptr, picture.bgra.data(), 0, nullptr) ? picture
                                                                                   : Picture{};
}

}  // namespace qrtest
