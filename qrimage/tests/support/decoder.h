// Test oracle: a QR Code decoder that nobody here wrote (zxing-cpp).
#pragma once

#include <optional>
#include <string>

namespace qrtest {

enum class PixelFormat {
    Bgra,  // 4 bytes per pixel: blue, green, red, unused
    Grey,  // 1 byte per pixel
};

// Reads the one QR Code symbol in a picture of `width` x `height` pixels,
// rows top row first, `rowBytes` apart (0: packed). Returns the symbol's raw
// content bytes (no character-set guessing), or nullopt when none is found.
std::optional<std::string> DecodeQrCode(const unsigned char* pixels, int width, int height,
                                        PixelFormat format, int rowBytes = 0);

}  // namespace qrtest
