// The window's small text rules, on UTF-16 text as both toolkits hold it:
// trimming spaces, the text-change rule and reading the size list's number.
#pragma once

#include <cstdint>
#include <string_view>

// Removes leading and trailing U+0020 only; tabs, line breaks and other
// white space stay. The result views `text`. Pure function, any thread.
std::u16string_view TrimSpaces(std::u16string_view text);

// The text-change rule: Create, the level frame and the size list are usable
// exactly while the text holds a character other than U+0020. Pure function,
// any thread.
bool CreateEnabledFor(std::u16string_view text);

// Reads a decimal number from the start of `text`: blanks (space, tab, line
// breaks) are skipped wherever they stand, then an optional sign, digits, an
// optional decimal point with digits and an optional exponent (E).
// Reading stops at the first character that cannot continue the number; a
// text without a number gives 0. Pure function, any thread.
double Val(std::u16string_view text);

// Rounds to the nearest integer, halves to the even neighbour, saturating at
// the limits of int32_t (NaN gives 0). Pure function, any thread.
int32_t RoundToInt32HalfEven(double value);

// The margin in modules that the size list's text stands for: Val, then
// rounded half to even. Pure function, any thread.
int32_t MarginFromSizeText(std::u16string_view text);
