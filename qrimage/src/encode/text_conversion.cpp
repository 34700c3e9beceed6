#include "encode/text_conversion.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "failure.h"

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

// Converts up to the first 0 unit; an unpaired surrogate becomes U+FFFD, or
// ends the conversion with false when `strict`. Stops with false too once
// `out` holds more than `longest` bytes.
bool ConvertUtf16(const char16_t* text, bool strict, std::size_t longest, std::string& out) {
    for (const char16_t* unit = text; *unit != 0; ++unit) {
        if (out.size() > longest) {
            return false;
        }
        if (IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1])) {
            AppendUtf8(
                out, 0x10000 + ((char32_t(unit[0]) - 0xD800) << 10) + (char32_t(unit[1]) - 0xDC00));
            ++unit;
        } else if (IsHighSurrogate(*unit) || IsLowSurrogate(*unit)) {
            if (strict) {
                return false;
            }
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, *unit);
        }
    }
    return true;
}

std::optional<std::string> Utf16TextToUtf8(const char16_t* text) {
    std::string out;
    return ConvertUtf16(text, false, kLongestText, out) && out.size() <= kLongestText
               ? std::optional(std::move(out))
               : std::nullopt;
}

std::optional<std::string> Utf16ToUtf8Strict(const char16_t* text) {
    std::string out;
    return ConvertUtf16(text, true, SIZE_MAX, out) ? std::optional(std::move(out)) : std::nullopt;
}

std::optional<std::size_t> BoundedNarrowLength(const char* text, std::size_t longest) {
    if (text == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    const std::size_t longestInput =
        longest > (SIZE_MAX - 1) / MB_LEN_MAX ? SIZE_MAX - 1 : longest * MB_LEN_MAX;
    const std::size_t length = strnlen(text, longestInput + 1);
    if (length > longestInput) {
        RecordFailure(Failure::TextTooLong);
        return std::nullopt;
    }
    return length;
}

}  // namespace qrimage
