// UTF-8 and UTF-16 conversions and error texts for the Windows build, where the logic's
// texts (UTF-8) meet the wide Windows functions.
#pragma once

#include <string>
#include <string_view>

// Converts UTF-8 to UTF-16 (invalid bytes become U+FFFD). Any thread.
std::wstring WideFromUtf8(std::string_view text);

// The system's text for a Windows error code (GetLastError), UTF-8, without
// the trailing line break; "error N" when the system has none. Any thread.
std::string SystemReason(unsigned long code);

// Converts UTF-16 to UTF-8 (unpaired surrogates become U+FFFD). Any thread.
std::string Utf8FromWide(std::wstring_view text);
