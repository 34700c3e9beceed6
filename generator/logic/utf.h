// UTF-8 and UTF-16, where the window's texts (UTF-8) meet the library's and
// the toolkits' (UTF-16); on Windows also the system's error texts.
#pragma once

#include <string>
#include <string_view>

// Converts UTF-8 to UTF-16; each byte that starts no valid sequence becomes
// U+FFFD. Pure function, any thread.
std::u16string Utf16FromUtf8(std::string_view text);

// Converts UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Pure
// function, any thread.
std::string Utf8FromUtf16(std::u16string_view text);

#if defined(_WIN32)
// The same for the wide strings of the Windows functions (16-bit wchar_t).
inline std::wstring WideFromUtf8(std::string_view text) {
    const std::u16string wide = Utf16FromUtf8(text);
    return {wide.begin(), wide.end()};
}

inline std::string Utf8FromWide(std::wstring_view text) {
    return Utf8FromUtf16({reinterpret_cast<const char16_t*>(text.data()), text.size()});
}

// The system's text for a Windows error code (GetLastError), UTF-8, without
// the trailing line break; "error N" when the system has none. Any thread.
std::string SystemReason(unsigned long code);
#endif
