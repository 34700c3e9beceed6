// The list of a batch: its records, read one at a time by whichever thread
// asks.
#pragma once

#include <qrimage.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

namespace qrtool {

// How a list separates its records.
enum class RecordEnd {
    // Lines: a record ends at LF or CRLF, and a UTF-8 byte-order mark at the
    // start of the list is skipped, so that a list saved on Windows reads as
    // one saved elsewhere.
    Line,
    // NUL-terminated records (-0), taken byte for byte.
    Nul,
};

// Hands out the records of a list one at a time. A record is kept only up
// to one byte more than any QR code holds; the rest of a longer one is read
// past, not kept. Thread-safe.
class RecordReader {
  public:
    // Reads `in` (not owned) from where it stands.
    RecordReader(std::FILE* in, RecordEnd end);
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    static constexpr std::size_t kLongest = QRIMAGE_LONGEST_TEXT;

    // The next record without its end (cut after kLongest + 1 bytes when it
    // is longer), and its 1-based number; false at the end of the list or
    // when reading failed (then Error() is set). Once false, always false: a
    // stream that failed is not read again.
    bool Next(std::string& record, uint64_t& number);

    // The errno of a failed read; 0 when none failed.
    int Error();

  private:
    // Reads up to the next delimiter into record_; whether there was one to read.
    bool ReadRecord();

    std::FILE* in_;
    RecordEnd end_;
    std::string record_;
    uint64_t count_ = 0;
    int error_ = 0;
    bool ended_ = false;
    std::mutex reading_;
};

// The number of records in `in` when it is a regular file, read ahead for
// the progress line; the file is rewound. Nullopt for anything else.
std::optional<uint64_t> CountRecords(std::FILE* in, RecordEnd end);

}  // namespace qrtool
