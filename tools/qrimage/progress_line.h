// The batch's progress on a terminal: one line, redrawn in place.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

namespace qrtool {

class ProgressLine {
  public:
    // Draws on `terminal` (not owned). `total` is the number of records when
    // known beforehand; without it the line shows no time left.
    ProgressLine(std::FILE* terminal, std::optional<uint64_t> total);

    // Redraws with `done` records finished, at most ten times a second; a
    // caller that finds another one drawing goes on at once. Thread-safe.
    void Update(uint64_t done);

    // Prints `message` and a newline where the progress line was; the next
    // Update draws the line again below it. Thread-safe.
    void Print(const std::string& message);

    // Draws the final count and ends the line. Thread-safe.
    void Finish(uint64_t done);

    // The line for `done` records after `seconds` (for example
    // "1200/10000  3000/s  0:03 left").
    static std::string Text(uint64_t done, std::optional<uint64_t> total, double seconds);

  private:
    void Draw(uint64_t done);

    std::FILE* terminal_;
    std::optional<uint64_t> total_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDraw_{};
    std::mutex drawing_;
};

}  // namespace qrtool
