// The one place where text changes encoding.
#pragma once

#include <qrimage.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qrimage {

// The most UTF-8 bytes that any symbol holds (qrimage.h). The converters
// stop reading a longer text there instead of copying it whole: a caller's
// 10 MB text costs no more than one that fits.
inline constexpr std::size_t kLongestText = QRIMAGE_LONGEST_TEXT;

// Converts zero-terminated UTF-16 to UTF-8 (no BOM). An unpaired surrogate
// becomes U+FFFD. Nullopt for a text whose UTF-8 form is longer than
// kLongestText: its units past that are never read. Throws std::bad_alloc
// when memory runs out.
std::optional<std::string> Utf16TextToUtf8(const char16_t* text);

// The same, but nullopt for a text holding an unpaired surrogate, which has
// no UTF-8 form. Throws std::bad_alloc.
std::optional<std::string> Utf16ToUtf8Strict(const char16_t* text);

// The exports' UTF-16 text as the library's code units: the header's
// qrimage_char16 is wchar_t on Windows and char16_t elsewhere, 16-bit UTF-16
// on both.
inline const char16_t* AsUtf16(const qrimage_char16* text) {
    return reinterpret_cast<const char16_t*>(text);
}

// The length of the narrow string `text`, read no further than a string that
// widens to at most `longest` UTF-16 units can reach: every character takes
// at most MB_LEN_MAX bytes and widens to at least one unit. Nullopt, with
// the reason recorded, for a null pointer (InvalidArgument) or a longer
// string (TextTooLong), whose rest is never read.
std::optional<std::size_t> BoundedNarrowLength(const char* text, std::size_t longest);

// Widens a zero-terminated string from the caller's narrow character set to
// UTF-16: on Windows the ANSI code page (text_widening_win32.cpp), elsewhere
// the character set of the calling thread's LC_CTYPE locale
// (text_widening_posix.cpp). Bytes that cannot be converted become U+FFFD.
// Returns nullopt, with the reason recorded (failure.h), for a null pointer
// (InvalidArgument), a string that widens to more than `longest` units
// (TextTooLong, found without reading it whole: every character of a narrow
// set takes at most MB_LEN_MAX bytes), or when the converter cannot be
// opened. Never calls setlocale. Throws std::bad_alloc.
std::optional<std::u16string> WidenAnsiText(const char* text, std::size_t longest);

}  // namespace qrimage
