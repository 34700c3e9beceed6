#include "output_pattern.h"

#include <charconv>

namespace qrtool {

std::optional<OutputPattern> OutputPattern::Parse(const std::string& pattern, std::string& error) {
    OutputPattern parsed;
    std::string text;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 2, "{n") != 0) {
            text += pattern[i++];
            continue;
        }
        const std::size_t close = pattern.find('}', i);
        int width = 0;
        if (close == i + 2) {
            width = 0;
        } else if (close != std::string::npos && pattern[i + 2] == ':') {
            const char* first = pattern.data() + i + 3;
            const char* last = pattern.data() + close;
            const auto [end, failure] = std::from_chars(first, last, width);
            if (failure != std::errc() || end != last || width < 1 || width > 20) {
                error = "in " + pattern + ": the width in {n:W} must be 1 to 20";
                return std::nullopt;
            }
        } else {
            text += pattern[i++];  // "{n" that starts no placeholder stays as it is
            continue;
        }
        parsed.texts_.push_back(std::move(text));
        text.clear();
        parsed.widths_.push_back(width);
        i = close + 1;
    }
    if (parsed.widths_.empty()) {
        error = "the batch file name pattern " + pattern +
                " needs {n} (the line number), or every picture goes to one file";
        return std::nullopt;
    }
    parsed.texts_.push_back(std::move(text));
    return parsed;
}

std::string OutputPattern::NameFor(uint64_t number) const {
    const std::string digits = std::to_string(number);
    std::string name = texts_[0];
    for (std::size_t k = 0; k < widths_.size(); ++k) {
        if (std::size_t(widths_[k]) > digits.size()) {
            name.append(std::size_t(widths_[k]) - digits.size(), '0');
        }
        name += digits;
        name += texts_[k + 1];
    }
    return name;
}

}  // namespace qrtool
