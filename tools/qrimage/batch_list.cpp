#include "batch_list.h"

#include <sys/stat.h>

#include <cerrno>
#include <string_view>

namespace qrtool {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

int Delimiter(RecordEnd end) {
    return end == RecordEnd::Nul ? '\0' : '\n';
}

}  // namespace

RecordReader::RecordReader(std::FILE* in, RecordEnd end) : in_(in), end_(end) {
    record_.reserve(kLongest + 1);
}

bool RecordReader::ReadRecord() {
    record_.clear();
    const int delimiter = Delimiter(end_);
    bool readAny = false;
    bool kept = true;  // every byte of the record is in record_
    int c = 0;
    int last = 0;
    while ((c = getc_unlocked(in_)) != EOF && c != delimiter) {
        readAny = true;
        last = c;
        if (record_.size() <= kLongest) {
            record_.push_back(char(c));
        } else {
            kept = false;
        }
    }
    if (c == EOF && (std::ferror(in_) || !readAny)) {
        return false;
    }
    // A line cut short stays too long without its CR or mark: left alone.
    if (end_ == RecordEnd::Line && kept) {
        if (last == '\r') {
            record_.pop_back();
        }
        if (count_ == 0 && std::string_view(record_).starts_with(kByteOrderMark)) {
            record_.erase(0, kByteOrderMark.size());
        }
    }
    return true;
}

bool RecordReader::Next(std::string& record, uint64_t& number) {
    const std::lock_guard lock(reading_);
    if (ended_) {
        return false;
    }
    errno = 0;
    if (!ReadRecord()) {
        ended_ = true;
        error_ = std::ferror(in_) ? (errno != 0 ? errno : EIO) : 0;
        return false;
    }
    record.assign(record_);
    number = ++count_;
    return true;
}

int RecordReader::Error() {
    const std::lock_guard lock(reading_);
    return error_;
}

std::optional<uint64_t> CountRecords(std::FILE* in, RecordEnd end) {
    struct stat status {};
    if (fstat(fileno(in), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    const int delimiter = Delimiter(end);
    uint64_t count = 0;
    int last = delimiter;
    for (int c; (c = std::getc(in)) != EOF; last = c) {
        count += c == delimiter;
    }
    count += last != delimiter;
    std::rewind(in);
    return count;
}

}  // namespace qrtool
