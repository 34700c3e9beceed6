// The one place where text changes encoding.
#pragma once

#include <optional>
#include <string>

namespace qrimage {

// Converts zero-terminated UTF-16 to UTF-8 (no BOM). An unpaired surrogate
// becomes U+FFFD. Throws std::bad_alloc when memory runs out.
std::string Utf16ToUtf8(const char16_t* text);

// Widens a zero-terminated string from the character set of the calling
// thread's LC_CTYPE locale to UTF-16. Bytes that cannot be converted become
// U+FFFD. Returns nullopt for a null pointer or when the converter cannot be
// opened. Never calls setlocale. Throws std::bad_alloc when memory runs out.
std::optional<std::u16string> WidenAnsiText(const char* text);

// The narrow twin of a function taking a file name and a text: widens both
// and calls body(wideName, wideText). Does nothing when either is null or
// cannot be widened.
template <class Body>
void WithWidenedPair(const char* name, const char* text, Body&& body) {
    if (name == nullptr || text == nullptr) {
        return;
    }
    const std::optional<std::u16string> wideName = WidenAnsiText(name);
    const std::optional<std::u16string> wideText = WidenAnsiText(text);
    if (wideName && wideText) {
        body(wideName->c_str(), wideText->c_str());
    }
}

}  // namespace qrimage
