#include "batch_runner.h"

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "failure_reason.h"
#include "output_pattern.h"
#include "picture_output.h"
#include "progress_line.h"
#include "usage_text.h"
#include "utf8_text.h"

namespace qrtool {

namespace {

using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// Hands out the list's records one at a time to whichever thread asks.
class RecordReader {
  public:
    RecordReader(std::FILE* in, char delimiter) : in_(in), delimiter_(delimiter) {}
    ~RecordReader() { std::free(buffer_); }
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // The next record without its delimiter, and its 1-based number; false
    // at the end of the list or when reading fails (then Error() is set).
    bool Next(std::string& record, uint64_t& number) {
        const std::lock_guard lock(reading_);
        errno = 0;
        const ssize_t length = getdelim(&buffer_, &capacity_, delimiter_, in_);
        if (length < 0) {
            error_ = std::ferror(in_) ? (errno != 0 ? errno : EIO) : 0;
            return false;
        }
        const bool delimited = length > 0 && buffer_[length - 1] == delimiter_;
        record.assign(buffer_, std::size_t(length) - delimited);
        number = ++count_;
        return true;
    }
    int Error() {
        const std::lock_guard lock(reading_);
        return error_;
    }

  private:
    std::FILE* in_;
    char delimiter_;
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
    uint64_t count_ = 0;
    int error_ = 0;
    std::mutex reading_;
};

// The number of records in a regular file, read ahead for the progress
// line; the file is rewound. Nullopt for anything else.
std::optional<uint64_t> CountRecords(std::FILE* in, char delimiter) {
    struct stat status {};
    if (fstat(fileno(in), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    uint64_t count = 0;
    int last = delimiter;
    for (int c; (c = std::getc(in)) != EOF; last = c) {
        count += c == delimiter;
    }
    count += last != delimiter;
    std::rewind(in);
    return count;
}

int KeepOpen(std::FILE*) {
    return 0;
}

// Every picture allocates and frees the same few hundred KiB (libpng and
// zlib's compression state). By default the allocator hands that memory back
// to the system after each picture and takes it again, zero-filled, for the
// next; in a batch that page traffic costs more than the picture. Keeping a
// couple of MiB in the process is the better bargain.
void KeepFreedMemoryForReuse() {
    constexpr int kKeep = 2 << 20;
    mallopt(M_TRIM_THRESHOLD, kKeep);
    mallopt(M_TOP_PAD, 1 << 20);
    mallopt(M_MMAP_THRESHOLD, kKeep);
}

unsigned DefaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

}  // namespace

int RunBatch(const Options& options) {
    std::string error;
    const std::optional<OutputPattern> pattern = OutputPattern::Parse(*options.output, error);
    const std::optional<Format> format =
        options.format ? options.format : FormatOfPath(*options.output);
    if (!pattern || !format) {
        std::fprintf(stderr, "qrimage: %s\n%s\n",
                     pattern ? "the pattern's extension names no format: use .png, .bmp, .txt "
                               "or -t"
                             : error.c_str(),
                     kUsageHint);
        return 2;
    }
    const bool fromStandardInput = options.batchList == "-";
    const std::string listName = fromStandardInput ? "(standard input)" : options.batchList;
    File list(fromStandardInput ? stdin : std::fopen(options.batchList.c_str(), "rb"),
              fromStandardInput ? &KeepOpen : &std::fclose);
    if (!list) {
        std::fprintf(stderr, "qrimage: cannot read %s: %s\n", listName.c_str(),
                     SystemReason(errno).c_str());
        return 1;
    }
    const char delimiter = options.nulSeparated ? '\0' : '\n';
    std::optional<ProgressLine> progress;
    if (isatty(STDERR_FILENO)) {
        progress.emplace(stderr, CountRecords(list.get(), delimiter));
    }

    KeepFreedMemoryForReuse();
    RecordReader reader(list.get(), delimiter);
    std::atomic<uint64_t> done{0};
    std::atomic<bool> anyFailed{false};
    std::mutex reporting;
    auto report = [&](uint64_t line, const std::string& reason) {
        anyFailed = true;
        const std::string message = listName + ":" + std::to_string(line) + ": " + reason;
        if (progress) {
            progress->Print(message);
            return;
        }
        const std::lock_guard lock(reporting);
        std::fprintf(stderr, "%s\n", message.c_str());
    };
    auto work = [&] {
        std::string record;
        uint64_t line = 0;
        while (reader.Next(record, line)) {
            std::string reason;
            try {
                const std::optional<std::u16string> text = Utf8ToUtf16(record, reason);
                if (text) {
                    reason =
                        WritePictureFile(*text, options.settings, *format, pattern->NameFor(line));
                }
            } catch (const std::exception& failure) {  // memory ran out: this line only
                reason = failure.what();
            }
            if (!reason.empty()) {
                report(line, reason);
            }
            const uint64_t finished = ++done;
            if (progress) {
                progress->Update(finished);
            }
        }
    };
    {
        const unsigned jobs = options.jobs > 0 ? options.jobs : DefaultJobs();
        std::vector<std::jthread> workers;
        for (unsigned k = 1; k < jobs; ++k) {
            workers.emplace_back(work);
        }
        work();
    }  // the workers join here
    if (progress) {
        progress->Finish(done);
    }
    if (const int readError = reader.Error(); readError != 0) {
        std::fprintf(stderr, "qrimage: cannot read %s: %s\n", listName.c_str(),
                     SystemReason(readError).c_str());
        return 1;
    }
    return anyFailed ? 1 : 0;
}

}  // namespace qrtool
