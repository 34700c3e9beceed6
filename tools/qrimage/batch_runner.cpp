#include "batch_runner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "failure_reason.h"
#include "file_access.h"
#include "output_pattern.h"
#include "picture_output.h"
#include "process_guard.h"
#include "progress_line.h"
#include "usage_text.h"
#include "utf8_text.h"

namespace qrtool {

namespace {

using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// Hands out the list's records one at a time to whichever thread asks. A
// record is kept only up to one byte more than any QR code holds; the rest
// of a longer one is read past, not kept.
class RecordReader {
  public:
    RecordReader(std::FILE* in, char delimiter) : in_(in), delimiter_(delimiter) {
        record_.reserve(kLongest + 1);
    }
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    static constexpr std::size_t kLongest = QRIMAGE_LONGEST_TEXT;

    // The next record without its delimiter (cut after kLongest + 1 bytes
    // when it is longer), and its 1-based number; false at the end of the
    // list or when reading failed (then Error() is set). Once false, always
    // false: a stream that failed is not read again.
    bool Next(std::string& record, uint64_t& number) {
        const std::lock_guard lock(reading_);
        if (ended_) {
            return false;
        }
        record_.clear();
        int c = 0;
        errno = 0;
        while ((c = getc_unlocked(in_)) != EOF && c != delimiter_) {
            if (record_.size() <= kLongest) {
                record_.push_back(char(c));
            }
        }
        if (c == EOF && (std::ferror(in_) || record_.empty())) {
            ended_ = true;
            error_ = std::ferror(in_) ? (errno != 0 ? errno : EIO) : 0;
            return false;
        }
        record.assign(record_);
        number = ++count_;
        return true;
    }
    int Error() {
        const std::lock_guard lock(reading_);
        return error_;
    }

  private:
    std::FILE* in_;
    int delimiter_;
    std::string record_;
    uint64_t count_ = 0;
    int error_ = 0;
    bool ended_ = false;
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
    if (fromStandardInput && StartedClosed(STDIN_FILENO)) {
        std::fprintf(stderr, "qrimage: cannot read %s: it is closed\n", listName.c_str());
        return 1;
    }
    File list(fromStandardInput ? stdin : OpenForReading(options.batchList),
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
    // A stop signal lets every picture being made finish (the library then
    // has renamed or removed its temporary file) and starts no other.
    std::mutex pictures;
    std::condition_variable pictureDone;
    bool stopping = false;
    unsigned drawing = 0;
    // `checkSignals`: the one worker that is the main thread, when no other
    // could start, takes the stop signals itself between pictures.
    auto work = [&](bool checkSignals) {
        std::string record;
        uint64_t line = 0;
        while (reader.Next(record, line)) {
            {
                const std::lock_guard lock(pictures);
                if (const int signal = checkSignals ? TakeStopSignal() : 0; signal != 0) {
                    stopping = true;
                    return signal;
                }
                if (stopping) {
                    return 0;
                }
                ++drawing;
            }
            std::string reason;
            try {
                if (record.size() > RecordReader::kLongest) {  // its end was not even kept
                    reason = LibraryFailure(ERANGE, options.settings.level, "");
                } else if (const std::optional<std::u16string> text = Utf8ToUtf16(record, reason)) {
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
            const std::lock_guard lock(pictures);
            --drawing;
            pictureDone.notify_all();
        }
        return 0;
    };

    BlockStopSignals();  // before any thread starts, so in every thread
    const unsigned jobs = options.jobs > 0 ? options.jobs : DefaultJobs();
    std::vector<std::jthread> workers;
    std::atomic<unsigned> running{0};
    int startError = 0;
    for (unsigned k = 0; k < jobs; ++k) {
        try {
            ++running;
            workers.emplace_back([&] {
                work(false);
                if (--running == 0) {
                    WakeWaiter();
                }
            });
        } catch (const std::system_error& failure) {  // the system has no more threads for us
            --running;
            startError = failure.code().value();
            break;
        }
    }
    if (startError != 0) {
        std::fprintf(stderr, "qrimage: note: %zu of %u threads started (%s)%s\n", workers.size(),
                     jobs, SystemReason(startError).c_str(),
                     workers.empty() ? ", working on this one" : "");
    }
    int signal = 0;
    if (workers.empty()) {
        signal = work(true);
    } else {
        while (running > 0 && (signal = WaitForSignal()) == 0) {
        }
    }
    if (signal != 0) {
        std::unique_lock lock(pictures);
        stopping = true;
        pictureDone.wait(lock, [&] { return drawing == 0; });
        if (progress) {
            progress->Finish(done);
        }
        // Workers still waiting for the list's next record hold nothing
        // that needs cleaning up; the process ends without them.
        EndStopped(signal);
    }
    workers.clear();  // they have all finished: joined here
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
