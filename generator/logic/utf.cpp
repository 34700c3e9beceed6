#include "utf.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        out += char16_t(0xD800 + ((c - 0x10000) >> 10));
        out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += char16_t(c);
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    out += char(kLead[tail] | (c >> (6 * tail)));
    for (int shift = 6 * (tail - 1); shift >= 0; shift -= 6) {
        out += char(0x80 | ((c >> shift) & 0x3F));
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
        AppendUtf16(out, valid ? c : kReplacement);
        i += valid ? std::size_t(tail) + 1 : 1;
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}
