#include "encode/symbol.h"

#include <cerrno>
#include <cstring>

#include "encode/text_conversion.h"
#include "failure.h"

namespace qrimage {
namespace {

SymbolPtr NoSymbol() {
    return SymbolPtr(nullptr, &QRcode_free);
}

// Whether the encoder can make this kind of symbol at all.
bool KindIsValid(const SymbolKind& kind) {
    const int32_t largest = kind.micro ? kLargestMicroVersion : kLargestVersion;
    const int32_t highestLevel = kind.micro ? QR_ECLEVEL_Q : QR_ECLEVEL_H;
    return kind.level >= QR_ECLEVEL_L && kind.level <= highestLevel && kind.minimumVersion >= 0 &&
           kind.minimumVersion <= largest;
}

}  // namespace

SymbolPtr EncodeBytes(const char* bytes, int32_t level) {
    return EncodeBytes(bytes, SymbolKind{level});
}

SymbolPtr EncodeTextW(const char16_t* text, int32_t level) {
    return EncodeTextW(text, SymbolKind{level});
}

SymbolPtr EncodeBytes(const char* bytes, const SymbolKind& kind) {
    // Checked here rather than left to the encoder: a level outside the
    // enumeration must not even be converted to QRecLevel.
    if (bytes == nullptr || bytes[0] == '\0' || !KindIsValid(kind)) {
        RecordFailure(Failure::InvalidArgument);
        return NoSymbol();
    }
    // The encoder would copy and split a text of any length before it finds
    // that no version holds it; past kLongestText none can.
    if (strnlen(bytes, kLongestText + 1) > kLongestText) {
        RecordFailure(Failure::TextTooLong);
        return NoSymbol();
    }
    // The version is the smallest to try: the encoder moves up until the data
    // fits (0: from the smallest). QR_MODE_8 lets the encoder split numeric
    // and alphanumeric runs off by its own rules; case sensitivity 1 keeps
    // lower-case letters as they are.
    const auto encode = kind.micro ? QRcode_encodeStringMQR : QRcode_encodeString;
    errno = 0;
    SymbolPtr symbol(encode(bytes, kind.minimumVersion, QRecLevel(kind.level), QR_MODE_8, 1),
                     &QRcode_free);
    if (!symbol) {
        // The encoder says why in errno: ERANGE for a text too long for
        // version 40, ENOMEM, or EINVAL.
        RecordFailure(errno == ERANGE   ? Failure::TextTooLong
                      : errno == ENOMEM ? Failure::OutOfMemory
                                        : Failure::InvalidArgument);
    }
    return symbol;
}

SymbolPtr EncodeTextW(const char16_t* text, const SymbolKind& kind) {
    if (text == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return NoSymbol();
    }
    const std::optional<std::string> bytes = Utf16TextToUtf8(text);
    if (!bytes) {
        RecordFailure(Failure::TextTooLong);
        return NoSymbol();
    }
    return EncodeBytes(bytes->c_str(), kind);
}

}  // namespace qrimage
