#include "batch_report.h"

#include <utility>

namespace qrtool {

BatchReport::BatchReport(std::FILE* err, std::string listName, bool progress,
                         std::optional<uint64_t> total)
    : err_(err), listName_(std::move(listName)) {
    if (progress) {
        progress_.emplace(err, total);
    }
}

void BatchReport::Failed(uint64_t line, const std::string& reason) {
    anyFailed_ = true;
    const std::string message = listName_ + ":" + std::to_string(line) + ": " + reason;
    if (progress_) {
        progress_->Print(message);
        return;
    }
    const std::lock_guard lock(printing_);
    std::fprintf(err_, "%s\n", message.c_str());
}

void BatchReport::Finished() {
    const uint64_t finished = ++finished_;
    if (progress_) {
        progress_->Update(finished);
    }
}

void BatchReport::End() {
    if (progress_) {
        progress_->Finish(finished_);
    }
}

}  // namespace qrtool
