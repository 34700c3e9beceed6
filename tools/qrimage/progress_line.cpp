#include "progress_line.h"

namespace qrtool {

ProgressLine::ProgressLine(std::FILE* terminal, std::optional<uint64_t> total)
    : terminal_(terminal), total_(total) {}

std::string ProgressLine::Text(uint64_t done, std::optional<uint64_t> total, double seconds) {
    std::string text = std::to_string(done);
    if (total) {
        text += '/';  // not "/" + ...: GCC 12 warns of a false overlap there
        text += std::to_string(*total);
    }
    const double rate = seconds > 0 ? double(done) / seconds : 0;
    text += "  " + std::to_string(uint64_t(rate + 0.5)) + "/s";
    if (total && rate > 0 && *total >= done) {
        const auto left = uint64_t(double(*total - done) / rate + 0.5);
        char clock[32];
        std::snprintf(clock, sizeof clock, "  %llu:%02llu left",
                      static_cast<unsigned long long>(left / 60),
                      static_cast<unsigned long long>(left % 60));
        text += clock;
    }
    return text;
}

void ProgressLine::Draw(uint64_t done) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    // Carriage return and erase to the end of the line: redraw in place.
    std::fprintf(terminal_, "\r%s\x1b[K", Text(done, total_, elapsed.count()).c_str());
    std::fflush(terminal_);
}

void ProgressLine::Update(uint64_t done) {
    const std::unique_lock lock(drawing_, std::try_to_lock);
    const auto now = std::chrono::steady_clock::now();
    if (!lock.owns_lock() || now - lastDraw_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastDraw_ = now;
    Draw(done);
}

void ProgressLine::Print(const std::string& message) {
    const std::lock_guard lock(drawing_);
    std::fprintf(terminal_, "\r\x1b[K%s\n", message.c_str());
    lastDraw_ = {};
}

void ProgressLine::Finish(uint64_t done) {
    const std::lock_guard lock(drawing_);
    Draw(done);
    std::fputc('\n', terminal_);
    std::fflush(terminal_);
}

}  // namespace qrtool
