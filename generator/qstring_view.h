// QString as the UTF-16 view that the shared window logic takes.
#pragma once

#include <QString>

#include <string_view>

// Views the characters of `text`; valid while `text` lives unchanged.
inline std::u16string_view U16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())};
}
