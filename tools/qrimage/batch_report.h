// What a batch says while it runs: each failed record, and on a terminal a
// progress line.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "progress_line.h"

namespace qrtool {

class BatchReport {
  public:
    // Reports on `err` (not owned) for the list called `listName`. With
    // `progress`, a progress line is drawn there, out of `total` records
    // when known.
    BatchReport(std::FILE* err, std::string listName, bool progress, std::optional<uint64_t> total);

    // Reports record `line` as failed, "LIST:LINE: reason". Thread-safe.
    void Failed(uint64_t line, const std::string& reason);

    // Counts one record as finished, failed or not. Thread-safe.
    void Finished();

    // Ends the progress line at the count finished. Call once, at the end.
    void End();

    // Whether any record failed.
    bool AnyFailed() const { return anyFailed_; }

  private:
    std::FILE* err_;
    std::string listName_;
    std::optional<ProgressLine> progress_;
    std::mutex printing_;
    std::atomic<uint64_t> finished_{0};
    std::atomic<bool> anyFailed_{false};
};

}  // namespace qrtool
