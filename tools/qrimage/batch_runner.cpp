#include "batch_runner.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "batch_list.h"
#include "batch_report.h"
#include "failure_reason.h"
#include "file_access.h"
#include "output_pattern.h"
#include "picture_output.h"
#include "process_guard.h"
#include "stop_signals.h"
#include "usage_text.h"
#include "utf8_text.h"
#include "worker_pool.h"

namespace qrtool {

namespace {

using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

int KeepOpen(std::FILE*) {
    return 0;
}

// Where the pictures go: the file name for each line, in one format.
struct Destination {
    OutputPattern pattern;
    Format format;
};

// The destination the options name; nullopt after saying why on standard error.
std::optional<Destination> DestinationOf(const Options& options) {
    std::string error;
    std::optional<OutputPattern> pattern = OutputPattern::Parse(*options.output, error);
    const std::optional<Format> format =
        options.format ? options.format : FormatOfPath(*options.output);
    if (!pattern || !format) {
        std::fprintf(stderr, "qrimage: %s\n%s\n",
                     pattern ? "the pattern's extension names no format: use .png, .bmp, .svg, "
                               ".eps, .txt or -t"
                             : error.c_str(),
                     kUsageHint);
        return std::nullopt;
    }
    return Destination{std::move(*pattern), *format};
}

// The list, opened: standard input ("-") or a file. Null after saying why.
File OpenList(const std::string& name, const std::string& shownName) {
    const bool standardInput = name == "-";
    if (standardInput && StartedClosed(STDIN_FILENO)) {
        std::fprintf(stderr, "qrimage: cannot read %s: it is closed\n", shownName.c_str());
        return File(nullptr, &std::fclose);
    }
    File list(standardInput ? stdin : OpenForReading(name),
              standardInput ? &KeepOpen : &std::fclose);
    if (!list) {
        std::fprintf(stderr, "qrimage: cannot read %s: %s\n", shownName.c_str(),
                     SystemReason(errno).c_str());
    }
    return list;
}

// Makes the picture of one record. Returns "" or why it failed.
std::string MakePicture(const std::string& record, uint64_t line, const Options& options,
                        const Destination& destination) {
    try {
        if (record.size() > RecordReader::kLongest) {  // its end was not even kept
            return LibraryFailure(ERANGE, options.settings.level, "");
        }
        std::string reason;
        if (const std::optional<std::u16string> text = Utf8ToUtf16(record, reason)) {
            reason = WritePictureFile(*text, options.settings, destination.format,
                                      destination.pattern.NameFor(line));
        }
        return reason;
    } catch (const std::exception& failure) {  // memory ran out: this line only
        return ExceptionReason(failure);
    }
}

unsigned ThreadsFor(const Options& options) {
    const unsigned cores = std::thread::hardware_concurrency();
    return options.jobs > 0 ? options.jobs : cores > 0 ? cores : 1;
}

void NoteShortfall(unsigned started, unsigned asked, int error) {
    std::fprintf(stderr, "qrimage: note: %u of %u threads started (%s)%s\n", started, asked,
                 SystemReason(error).c_str(), started == 0 ? ", working on this one" : "");
}

}  // namespace

int RunBatch(const Options& options) {
    const std::optional<Destination> destination = DestinationOf(options);
    if (!destination) {
        return 2;
    }
    const std::string listName = options.batchList == "-" ? "(standard input)" : options.batchList;
    const File list = OpenList(options.batchList, listName);
    if (!list) {
        return 1;
    }
    const RecordEnd end = options.nulSeparated ? RecordEnd::Nul : RecordEnd::Line;
    const bool onTerminal = isatty(STDERR_FILENO) != 0;
    BatchReport report(stderr, listName, onTerminal,
                       onTerminal ? CountRecords(list.get(), end) : std::nullopt);
    RecordReader reader(list.get(), end);
    KeepFreedMemoryForReuse();
    HoldStopSignals();  // before any thread starts, so in every thread
    const int signal = RunOnThreads(
        ThreadsFor(options),
        [&](ItemGate& gate) {
            std::string record;
            uint64_t line = 0;
            while (reader.Next(record, line) && gate.Enter()) {
                if (const std::string reason = MakePicture(record, line, options, *destination);
                    !reason.empty()) {
                    report.Failed(line, reason);
                }
                report.Finished();
                gate.Leave();
            }
        },
        &NoteShortfall);
    report.End();
    if (signal != 0) {
        // Threads still waiting for the list's next record hold nothing that
        // needs cleaning up; the process ends without them.
        EndStopped(signal);
    }
    if (const int readError = reader.Error(); readError != 0) {
        std::fprintf(stderr, "qrimage: cannot read %s: %s\n", listName.c_str(),
                     SystemReason(readError).c_str());
        return 1;
    }
    return report.AnyFailed() ? 1 : 0;
}

}  // namespace qrtool
