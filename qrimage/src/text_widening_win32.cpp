// WidenAnsiText on Windows: the system's ANSI code page, as the platform's
// own A functions widen their strings.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "failure.h"
#include "text_conversion.h"

namespace qrimage {

std::optional<std::u16string> WidenAnsiText(const char* text, std::size_t longest) {
    if (text == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    // Each character takes at most MB_LEN_MAX bytes and widens to at least
    // one unit: a longer string is refused without reading the rest.
    const std::size_t longestInput =
        longest > (SIZE_MAX - 1) / MB_LEN_MAX ? SIZE_MAX - 1 : longest * MB_LEN_MAX;
    const std::size_t length = strnlen(text, longestInput + 1);
    if (length > longestInput) {
        RecordFailure(Failure::TextTooLong);
        return std::nullopt;
    }
    // n bytes never widen to more than n units. The block is zero-filled and
    // its unit n stays 0, so the result ends there even when the conversion
    // stops short; bytes the code page does not map become its default
    // character.
    if (length >= std::size_t(INT_MAX)) {
        RecordFailure(Failure::OutOfMemory);  // more than the conversion can count
        return std::nullopt;
    }
    std::u16string wide(length + 1, u'\0');
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, int(length + 1),
                        reinterpret_cast<wchar_t*>(wide.data()), int(length + 1));
    wide.resize(std::char_traits<char16_t>::length(wide.c_str()));
    if (wide.size() > longest) {
        RecordFailure(Failure::TextTooLong);
        return std::nullopt;
    }
    return wide;
}

}  // namespace qrimage
