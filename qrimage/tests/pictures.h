// Pictures read back from the library's outputs: 4 bytes a pixel (blue, green, red, fourth byte),
// top row first, side 0 when none is square. No test framework: the fuzz targets include it too.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "qrimage.h"

namespace qrtest {

struct Picture {
    int64_t side = 0;  // 0: nothing read
    std::string bgra;
    bool operator==(const Picture&) const = default;
};

// A BMP file as the library writes it: "BM", file size, 0, pixel offset 54; a 40-byte info header:
// side x side (positive: bottom row first), 1 plane, 32 bits, BI_RGB, the pixel bytes, zeros; then
// the rows. Side 0 for any other file. With `pixels` false it is only measured: no bytes.
inline Picture FromBmp(std::string_view file, bool pixels) {
    uint32_t side = 0;
    if (file.size() >= 54) {
        std::memcpy(&side, file.data() + 18, sizeof side);
    }
    const uint32_t bytes = 4 * side * side, rowBytes = 4 * side;
    const uint32_t fields[] = {54 + bytes, 0,     54, 40, side, side, 1 | 32 << 16,
                               0,          bytes, 0,  0,  0,    0};
    if (side == 0 || side > 23170 || file.size() != 54 + std::size_t(bytes) ||
        file.substr(0, 2) != "BM" || std::memcmp(file.data() + 2, fields, sizeof fields) != 0) {
        return {};
    }
    Picture picture{side, {}};
    for (uint32_t y = side; pixels && y-- > 0;) {
        picture.bgra.append(file.substr(54 + std::size_t(rowBytes) * y, rowBytes));
    }
    return picture;
}

// A PNG file or block decoded by libpng; side 0 when libpng cannot read it or it is not square.
// With `pixels` false it is only measured: its header read, no bytes.
inline Picture FromPng(std::string_view png, bool pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        return {};
    }
    Picture picture{image.width == image.height ? image.width : 0, {}};
    if (picture.side == 0 || !pixels) {
        png_image_free(&image);
        return picture;
    }
    image.format = PNG_FORMAT_BGRA;
    picture.bgra.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.bgra.data(), 0, nullptr) ? picture
                                                                                   : Picture{};
}

inline Picture FromBmp(std::string_view file) {
    return FromBmp(file, true);
}

inline Picture FromPng(std::string_view png) {
    return FromPng(png, true);
}

// The picture of a handle `q` made (anything with the exports as members), read by its GetObjectW,
// released by its DeleteObject: side 0 for a null handle or one that describes no square 32-bit
// top-down picture, "not released" as the bytes when DeleteObject refuses.
template <class Exports>
Picture FromBitmap(const Exports& q, HBITMAP handle) {
    if (handle == nullptr) {
        return {};
    }
    DIBSECTION d{};
    const bool described = q.GetObjectW(handle, sizeof d, &d) == int32_t(sizeof d);
    const int64_t side = d.dsBm.bmWidth;
    Picture picture;
    if (described && side > 0 && d.dsBm.bmHeight == side && d.dsBm.bmWidthBytes == 4 * side &&
        d.dsBm.bmBitsPixel == 32 && d.dsBm.bmBits != nullptr && d.dsBmih.biWidth == side &&
        d.dsBmih.biHeight == -side) {
        picture = {side, std::string(static_cast<const char*>(d.dsBm.bmBits), 4 * side * side)};
    }
    return q.DeleteObject(handle) != 0 ? picture : Picture{0, "not released"};
}

// A GetPNGW/A block (`get(&length, &block)`), released by `q`'s DestroyBuffer: "" when none was
// made and the out-parameters stay, "out-parameters written" when none was made but they changed.
template <class Exports, class Get>
std::string PngBlock(const Exports& q, Get get) {
    uint32_t length = 7;
    unsigned char marker = 0, *block = &marker;
    get(&length, &block);
    if (block == &marker || block == nullptr) {
        return block == &marker && length == 7 ? "" : "out-parameters written";
    }
    std::string bytes(reinterpret_cast<const char*>(block), length);
    q.DestroyBuffer(block);
    return bytes;
}

}  // namespace qrtest
