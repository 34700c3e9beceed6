// The window's small text rules: trimming spaces and reading a number.
#pragma once

#include <QString>

#include <cstdint>

// Removes leading and trailing U+0020 only; tabs, line breaks and other
// white space stay. Pure function, any thread.
QString TrimSpaces(const QString& text);

// Reads a decimal number from the start of `text`: blanks (space, tab, line
// breaks) are skipped wherever they stand, then an optional sign, digits, an
// optional decimal point with digits and an optional exponent (E).
// Reading stops at the first character that cannot continue the number; a
// text without a number gives 0. Pure function, any thread.
double Val(const QString& text);

// Rounds to the nearest integer, halves to the even neighbour, saturating at
// the limits of int32_t (NaN gives 0). Pure function, any thread.
int32_t RoundToInt32HalfEven(double value);
