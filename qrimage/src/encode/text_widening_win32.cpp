// WidenAnsiText on Windows: the system's ANSI code page, as the platform's
// own A functions widen their strings.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "encode/text_conversion.h"
#include "failure.h"

namespace qrimage {

std::optional<std::u16string> WidenAnsiText(const char* text, std::size_t longest) {
    const std::optional<std::size_t> bounded = BoundedNarrowLength(text, longest);
    if (!bounded) {
        return std::nullopt;
    }
    const std::size_t length = *bounded;
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
