// Test oracle: a QR Code decoder that nobody here wrote (zxing-cpp).
#pragma once

#include <optional>
#include <string>

namespace qrtest {

// Reads the one QR Code symbol in a picture of 4-byte pixels (blue, green,
// red, unused), rows top row first and packed. Returns the symbol's raw
// content bytes (no character-set guessing), or nullopt when none is found.
std::optional<std::string> DecodeQrCode(const unsigned char* bgra, int width, int height);

}  // namespace qrtest
