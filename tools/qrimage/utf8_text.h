// Text as the tool takes it: UTF-8 bytes, checked strictly and turned into
// the UTF-16 that the library's W functions take.
#pragma once

#include <qrimage.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace qrtool {

// The UTF-16 form of `text`, or nullopt with `reason` set ("invalid UTF-8 at
// byte N", "the text holds a NUL byte", "the text is empty"). Overlong forms,
// surrogates and code points above U+10FFFF are invalid: nothing is replaced,
// so the library encodes exactly the bytes given. Thread-safe.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text, std::string& reason);

// `text` as the library's W functions take it (the same UTF-16 code units;
// wchar_t on Windows).
inline const qrimage_char16* LibraryText(const std::u16string& text) {
    return reinterpret_cast<const qrimage_char16*>(text.c_str());
}

// The bytes of `in` up to its end, but never more than `most` + 1 of them:
// a result longer than `most` means that more was there, unread. Nullopt
// with errno set when reading fails. Does not close `in`.
std::optional<std::string> ReadAtMost(std::FILE* in, std::size_t most);

}  // namespace qrtool
