#include "utf8_text.h"

#include <cerrno>
#include <cstdint>

namespace qrtool {

namespace {

// Length of the UTF-8 sequence that starts with `lead`, 0 when no sequence
// can start with it.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;  // a continuation byte, an overlong lead (C0, C1) or beyond U+10FFFF
}

}  // namespace

std::optional<std::u16string> Utf8ToUtf16(std::string_view text, std::string& reason) {
    if (text.empty()) {
        reason = "the text is empty";
        return std::nullopt;
    }
    std::u16string wide;
    wide.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = SequenceLength(lead);
        bool valid = length > 0 && i + std::size_t(length) <= text.size();
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + std::size_t(k)]);
            valid = (next & 0xC0) == 0x80;
            point = (point << 6) | (next & 0x3F);
        }
        // Shortest form only, no surrogates, nothing above U+10FFFF.
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && point >= kSmallest[length] && (point < 0xD800 || point > 0xDFFF) &&
                point <= 0x10FFFF;
        if (!valid) {
            reason = "invalid UTF-8 at byte " + std::to_string(i + 1);
            return std::nullopt;
        }
        if (point == 0) {
            reason = "the text holds a NUL byte at byte " + std::to_string(i + 1);
            return std::nullopt;
        }
        if (point < 0x10000) {
            wide.push_back(char16_t(point));
        } else {
            point -= 0x10000;
            wide.push_back(char16_t(0xD800 + (point >> 10)));
            wide.push_back(char16_t(0xDC00 + (point & 0x3FF)));
        }
        i += std::size_t(length);
    }
    return wide;
}

std::optional<std::string> ReadAtMost(std::FILE* in, std::size_t most) {
    std::string read(most + 1, '\0');
    const std::size_t got = std::fread(read.data(), 1, read.size(), in);
    if (got < read.size() && std::ferror(in)) {
        return std::nullopt;
    }
    read.resize(got);
    return read;
}

}  // namespace qrtool
