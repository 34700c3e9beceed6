// The encoder front end: text to QR Code symbol.
#pragma once

#include <qrencode.h>

#include <cstdint>
#include <memory>

namespace qrimage {

using SymbolPtr = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

// A symbol as the renderers see it: width x width modules, row by row from
// the top, a module dark when bit 0 of its byte is set.
class Symbol {
  public:
    explicit Symbol(SymbolPtr code) : code_(std::move(code)) {}

    int Width() const { return code_->width; }
    // One module row, `Width()` bytes; row 0 is the top row.
    const unsigned char* Row(int row) const { return code_->data + std::size_t(row) * Width(); }

  private:
    SymbolPtr code_;
};

// Which symbol to make: error correction level 0..3, the smallest version
// to use (0 = the smallest that holds the text; 1..40, or 1..4 for M1..M4),
// and whether it is a Micro QR symbol.
struct SymbolKind {
    int32_t level;
    int32_t minimumVersion = 0;
    bool micro = false;
};

// Largest versions of the two kinds of symbol.
inline constexpr int32_t kLargestVersion = 40;
inline constexpr int32_t kLargestMicroVersion = 4;

// Encodes UTF-16 text as the UTF-8 bytes of the smallest full-size symbol at
// `level` (0..3). Returns null, with the reason recorded (failure.h), for a
// null or empty text or a level outside 0..3 (InvalidArgument), a text too
// long for version 40 (TextTooLong; one longer than kLongestText is refused
// before it is copied), or when memory runs out. Throws
// std::bad_alloc when the UTF-8 copy cannot be made.
SymbolPtr EncodeTextW(const char16_t* text, int32_t level);

// Encodes the bytes of a zero-terminated string unchanged; same rules.
SymbolPtr EncodeBytes(const char* bytes, int32_t level);

// The same for any kind of symbol. Besides the rules above, InvalidArgument
// for level H in a Micro QR symbol or a minimum version outside 0..40
// (0..4 for Micro QR); TextTooLong when no version from the minimum up to
// the largest of the kind holds the text.
SymbolPtr EncodeTextW(const char16_t* text, const SymbolKind& kind);
SymbolPtr EncodeBytes(const char* bytes, const SymbolKind& kind);

}  // namespace qrimage
