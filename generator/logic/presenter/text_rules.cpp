#include "text_rules.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

std::u16string_view TrimSpaces(std::u16string_view text) {
    const std::size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

bool CreateEnabledFor(std::u16string_view text) {
    return !TrimSpaces(text).empty();
}

double Val(std::u16string_view text) {
    // Blanks are skipped wherever they stand; what remains is read as the
    // longest decimal prefix. from_chars ignores the locale (which may use a
    // decimal comma) and stops where the number cannot go on, as Val does.
    std::string compact;
    for (const char16_t c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') {
            compact += c < 0x80 ? static_cast<char>(c) : '?';
        }
    }
    std::string_view number = compact;
    const bool negative = number.starts_with('-');
    if (negative || number.starts_with('+')) {
        number.remove_prefix(1);
    }
    // from_chars would also read "inf" and "nan"; Val reads digits only.
    if (number.empty() ||
        !(number.front() == '.' || (number.front() >= '0' && number.front() <= '9'))) {
        return 0.0;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too large saturates when rounded; too small is 0.
        const std::string_view parsed(number.data(), std::size_t(end - number.data()));
        const bool tiny = parsed.find("e-") != parsed.npos || parsed.find("E-") != parsed.npos;
        value = tiny ? 0.0 : HUGE_VAL;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

int32_t RoundToInt32HalfEven(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    // nearbyint rounds in the default mode, to nearest with ties to even.
    const double rounded = std::nearbyint(value);
    if (rounded <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    if (rounded >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(rounded);
}

int32_t MarginFromSizeText(std::u16string_view text) {
    return RoundToInt32HalfEven(Val(text));
}
