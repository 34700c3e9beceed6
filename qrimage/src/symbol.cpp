#include "symbol.h"

#include <cerrno>
#include <cstring>

#include "failure.h"
#include "text_conversion.h"

namespace qrimage {
namespace {

SymbolPtr NoSymbol() {
    return SymbolPtr(nullptr, &QRcode_free);
}

}  // namespace

SymbolPtr EncodeBytes(const char* bytes, int32_t level) {
    // Checked here rather than left to the encoder: a level outside the
    // enumeration must not even be converted to QRecLevel.
    if (bytes == nullptr || bytes[0] == '\0' || level < QR_ECLEVEL_L || level > QR_ECLEVEL_H) {
        RecordFailure(Failure::InvalidArgument);
        return NoSymbol();
    }
    // The encoder would copy and split a text of any length before it finds
    // that no version holds it; past kLongestText none can.
    if (strnlen(bytes, kLongestText + 1) > kLongestText) {
        RecordFailure(Failure::TextTooLong);
        return NoSymbol();
    }
    // Version 0: the smallest that holds the data. QR_MODE_8 lets the encoder
    // split numeric and alphanumeric runs off by its own rules; case
    // sensitivity 1 keeps lower-case letters as they are.
    errno = 0;
    SymbolPtr symbol(QRcode_encodeString(bytes, 0, QRecLevel(level), QR_MODE_8, 1), &QRcode_free);
    if (!symbol) {
        // The encoder says why in errno: ERANGE for a text too long for
        // version 40, ENOMEM, or EINVAL.
        RecordFailure(errno == ERANGE   ? Failure::TextTooLong
                      : errno == ENOMEM ? Failure::OutOfMemory
                                        : Failure::InvalidArgument);
    }
    return symbol;
}

SymbolPtr EncodeTextW(const char16_t* text, int32_t level) {
    if (text == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return NoSymbol();
    }
    const std::optional<std::string> bytes = Utf16TextToUtf8(text);
    if (!bytes) {
        RecordFailure(Failure::TextTooLong);
        return NoSymbol();
    }
    return EncodeBytes(bytes->c_str(), level);
}

}  // namespace qrimage
