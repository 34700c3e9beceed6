// The file names of a batch: "{n}" in the pattern is the record's 1-based
// line number, "{n:W}" the same zero-padded to W digits (1 to 20).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qrtool {

class OutputPattern {
  public:
    // Nullopt, with `error` set, when the pattern holds no "{n}" (every
    // record would overwrite the same file) or a width out of range.
    static std::optional<OutputPattern> Parse(const std::string& pattern, std::string& error);

    // The file name of record `number`. Thread-safe.
    std::string NameFor(uint64_t number) const;

  private:
    std::vector<std::string> texts_;  // one more than widths_: text, number, text, ...
    std::vector<int> widths_;         // 0: no padding
};

}  // namespace qrtool
