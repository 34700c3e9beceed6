// The one place where text changes encoding.
#pragma once

#include <qrimage.h>

#include <optional>
#include <string>

namespace qrimage {

// Converts zero-terminated UTF-16 to UTF-8 (no BOM). An unpaired surrogate
// becomes U+FFFD. Throws std::bad_alloc when memory runs out.
std::string Utf16ToUtf8(const char16_t* text);

// The same, but nullopt for a text holding an unpaired surrogate, which has
// no UTF-8 form. Throws std::bad_alloc.
std::optional<std::string> Utf16ToUtf8Strict(const char16_t* text);

// The exports' UTF-16 text as the library's code units: the header's
// qrimage_char16 is wchar_t on Windows and char16_t elsewhere, 16-bit UTF-16
// on both.
inline const char16_t* AsUtf16(const qrimage_char16* text) {
    return reinterpret_cast<const char16_t*>(text);
}

// Widens a zero-terminated string from the caller's narrow character set to
// UTF-16: on Windows the ANSI code page (text_widening_win32.cpp), elsewhere
// the character set of the calling thread's LC_CTYPE locale
// (text_widening_posix.cpp). Bytes that
// cannot be converted become U+FFFD. Returns nullopt, with the reason
// recorded (failure.h), for a null pointer or when the converter cannot be
// opened. Never calls setlocale. Throws std::bad_alloc.
std::optional<std::u16string> WidenAnsiText(const char* text);

}  // namespace qrimage
