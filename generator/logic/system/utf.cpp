#include "utf.h"

#include <cstdint>

namespace {

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        out += char16_t(0xD800 + ((c - 0x10000) >> 10));
        out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += char16_t(c);
    }
}

}  // namespace

std::u16string Utf16FromUtf8(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = uint8_t(text[i]);
        const int tail = lead < 0x80   ? 0
                         : lead < 0xC2 ? -1
                         : lead < 0xE0 ? 1
                         : lead < 0xF0 ? 2
                         : lead < 0xF5 ? 3
                                       : -1;
        char32_t c = tail > 0 ? lead & (0x3F >> tail) : lead;
        int read = 0;
        while (read < tail && i + 1 + read < text.size() &&
               (uint8_t(text[i + 1 + read]) & 0xC0) == 0x80) {
            c = (c << 6) | (uint8_t(text[i + 1 + read]) & 0x3F);
            ++read;
        }
        // Overlong forms, surrogates and values past U+10FFFF are no characters.
        constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        const bool valid = tail >= 0 && read == tail && c >= kLeast[tail] && c <= 0x10FFFF &&
                           (c < 0xD800 || c > 0xDFFF);
        AppendUtf16(out, valid ? c : U'\uFFFD');
        i += valid ? std::size_t(tail) + 1 : 1;
    }
    return out;
}
