// UTF-8 and UTF-16, where the window's paths and texts (UTF-8) meet the
// library's and the system's (UTF-16); on Windows also the system's error
// texts.
#pragma once

#include <string>
#include <string_view>

// Converts UTF-8 to UTF-16; each byte that starts no valid sequence becomes
// U+FFFD. Pure function, any thread.
std::u16string Utf16FromUtf8(std::string_view text);

#if defined(_WIN32)
// Utf16FromUtf8 for the wide strings of the Windows functions (16-bit wchar_t).
inline std::wstring WideFromUtf8(std::string_view text) {
    const std::u16string wide = Utf16FromUtf8(text);
    return {wide.begin(), wide.end()};
}

// Converts UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Any thread.
std::string Utf8FromWide(std::wstring_view text);

// The system's text for a Windows error code (GetLastError), UTF-8, without
// the trailing line break; "error N" when the system has none. Any thread.
std::string SystemReason(unsigned long code);
#endif
