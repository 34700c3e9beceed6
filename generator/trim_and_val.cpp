#include "trim_and_val.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

QString TrimSpaces(const QString& text) {
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && text.at(first) == u' ') {
        ++first;
    }
    while (end > first && text.at(end - 1) == u' ') {
        --end;
    }
    return text.sliced(first, end - first);
}

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

}  // namespace

double Val(const QString& text) {
    // Collect the number's characters without the blanks, checking the
    // grammar here, then convert with from_chars, which ignores the locale
    // (the application's locale may use a decimal comma).
    std::string number;
    enum class Part { Sign, Whole, Fraction, ExponentSign, Exponent } part = Part::Sign;
    std::size_t exponentAt = std::string::npos;
    for (const QChar c : text) {
        if (IsBlank(c)) {
            continue;
        }
        if ((c == u'+' || c == u'-') && (part == Part::Sign || part == Part::ExponentSign)) {
            number += static_cast<char>(c.unicode());
            part = part == Part::Sign ? Part::Whole : Part::Exponent;
        } else if (IsDigit(c)) {
            number += static_cast<char>(c.unicode());
            if (part == Part::Sign) {
                part = Part::Whole;
            } else if (part == Part::ExponentSign) {
                part = Part::Exponent;
            }
        } else if (c == u'.' && (part == Part::Sign || part == Part::Whole)) {
            number += '.';
            part = Part::Fraction;
        } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D') &&
                   (part == Part::Whole || part == Part::Fraction)) {
            exponentAt = number.size();
            number += 'e';
            part = Part::ExponentSign;
        } else {
            break;
        }
    }
    // An exponent marker without digits ("12e", "12e+") reads as the number
    // before it.
    if (exponentAt != std::string::npos && (number.back() < '0' || number.back() > '9')) {
        number.erase(exponentAt);
    }
    bool negative = false;
    std::string_view digits = number;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too large saturates when rounded; too small is 0.
        value = digits.find("e-") == std::string_view::npos ? HUGE_VAL : 0.0;
    } else if (error != std::errc() || end == digits.data()) {
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
