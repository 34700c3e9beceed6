// UTF-16 to UTF-8, the library's own routine on every platform, so that a text
// gives the same symbol bytes everywhere.
#include "text_conversion.h"

namespace qrimage {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(char(code));
    } else if (code < 0x800) {
        out.push_back(char(0xC0 | (code >> 6)));
        out.push_back(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(char(0xE0 | (code >> 12)));
        out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(char(0x80 | (code & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (code >> 18)));
        out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(char(0x80 | (code & 0x3F)));
    }
}

}  // namespace

std::string Utf16ToUtf8(const char16_t* text) {
    std::string out;
    for (const char16_t* unit = text; *unit != 0; ++unit) {
        if (IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1])) {
            AppendUtf8(
                out, 0x10000 + ((char32_t(unit[0]) - 0xD800) << 10) + (char32_t(unit[1]) - 0xDC00));
            ++unit;
        } else if (IsHighSurrogate(*unit) || IsLowSurrogate(*unit)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, *unit);
        }
    }
    return out;
}

}  // namespace qrimage
