// The one place where text changes encoding.
#pragma once

#include <qrimage.h>

#include <optional>
#include <string>

namespace qrimage {

// Converts zero-terminated UTF-16 to UTF-8 (no BOM). An unpaired surrogate
// becomes U+FFFD. Throws std::bad_alloc when memory runs out.
std::string Utf16ToUtf8(const char16_t* text);

// The exports' UTF-16 text as the library's code units: the header's
// qrimage_char16 is wchar_t on Windows and char16_t elsewhere, 16-bit UTF-16
// on both.
inline const char16_t* AsUtf16(const qrimage_char16* text) {
    return reinterpret_cast<const char16_t*>(text);
}

// Widens a zero-terminated string from the caller's narrow character set to
// UTF-16: on Windows the ANSI code page (MultiByteToWideChar with CP_ACP),
// elsewhere the character set of the calling thread's LC_CTYPE locale (bytes
// it cannot convert become U+FFFD; setlocale is never called). Returns
// nullopt for a null pointer or when no conversion can be made. Throws
// std::bad_alloc when memory runs out. One seam file per platform.
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
