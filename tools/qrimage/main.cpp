// qrimage: QR code pictures from the command line, over libqrimage. The
// program's entry (main_posix.cpp, main_win32.cpp) prepares the process and
// calls RunTool.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <string>
#include <variant>

#include "batch_runner.h"
#include "colours_command.h"
#include "failure_reason.h"
#include "options.h"
#include "picture_output.h"
#include "process_guard.h"
#include "run_tool.h"
#include "stop_signals.h"
#include "usage_text.h"
#include "utf8_text.h"

namespace {

using qrtool::Format;
using qrtool::Options;

int Fail(const std::string& message) {
    std::fprintf(stderr, "qrimage: %s\n", message.c_str());
    return 1;
}

// The closed standard stream `descriptor` that the command must use, as a
// failure; "" when it is open.
std::string Closed(int descriptor) {
    if (!qrtool::StartedClosed(descriptor)) {
        return "";
    }
    return descriptor == STDIN_FILENO ? "standard input is closed" : "standard output is closed";
}

int UsageFailure(const std::string& message) {
    std::fprintf(stderr, "qrimage: %s\n%s\n", message.c_str(), qrtool::kUsageHint);
    return 2;
}

int EncodeOne(const Options& options) {
    const bool toStandardOutput = !options.output || *options.output == "-";
    std::optional<Format> format = options.format;
    if (!format) {
        format = !options.output          ? (isatty(STDOUT_FILENO) ? Format::Utf8 : Format::Png)
                 : *options.output == "-" ? Format::Png
                                          : qrtool::FormatOfPath(*options.output);
    }
    if (!format) {
        return UsageFailure("cannot tell the format of " + *options.output +
                            ": name it .png, .bmp, .svg, .eps or .txt, or use -t");
    }
    const bool fromStandardInput = !options.text || *options.text == "-";
    for (const std::string& closed : {Closed(fromStandardInput ? STDIN_FILENO : -1),
                                      Closed(toStandardOutput ? STDOUT_FILENO : -1)}) {
        if (!closed.empty()) {
            return Fail(closed);
        }
    }
    std::string bytes;
    if (!fromStandardInput) {
        bytes = *options.text;
    } else if (std::optional<std::string> input = qrtool::ReadAtMost(stdin, QRIMAGE_LONGEST_TEXT)) {
        bytes = std::move(*input);
    } else {
        return Fail("cannot read standard input: " + qrtool::SystemReason(errno));
    }
    if (bytes.size() > QRIMAGE_LONGEST_TEXT) {  // what was left unread cannot make it fit
        return Fail(qrtool::LibraryFailure(ERANGE, options.settings.level, ""));
    }
    std::string reason;
    const std::optional<std::u16string> text = qrtool::Utf8ToUtf16(bytes, reason);
    if (!text) {
        return Fail(reason);
    }
    // From here on a stop signal waits until the picture is whole, or its
    // temporary file removed, and then ends the tool.
    qrtool::HoldStopSignals();
    const std::string failure =
        toStandardOutput
            ? qrtool::WritePictureToStream(*text, options.settings, *format, stdout,
                                           isatty(STDOUT_FILENO) != 0)
            : qrtool::WritePictureFile(*text, options.settings, *format, *options.output);
    if (const int signal = qrtool::TakeStopSignal(); signal != 0) {
        return qrtool::StoppedStatus(signal);
    }
    return failure.empty() ? 0 : Fail(failure);
}

int Run(int argc, char** argv) {
    const auto parsed = qrtool::ParseArguments(argc, argv);
    if (const auto* error = std::get_if<qrtool::UsageError>(&parsed)) {
        return UsageFailure(error->message);
    }
    const Options& options = std::get<Options>(parsed);
    const bool printsOnStandardOutput = options.command == Options::Command::Help ||
                                        options.command == Options::Command::Version ||
                                        options.command == Options::Command::Colours;
    if (const std::string closed = Closed(printsOnStandardOutput ? STDOUT_FILENO : -1);
        !closed.empty()) {
        return Fail(closed);
    }
    switch (options.command) {
        case Options::Command::Help:
            return std::fputs(qrtool::kHelpText, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
        case Options::Command::Version:
            return std::printf("qrimage %s\n", QRIMAGE_TOOL_VERSION) > 0 ? 0 : 1;
        case Options::Command::Colours:
            return qrtool::RunColours(options);
        case Options::Command::Batch:
            return qrtool::RunBatch(options);
        case Options::Command::Encode:
            return EncodeOne(options);
    }
    return 1;
}

}  // namespace

int qrtool::RunTool(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& failure) {
        return Fail(qrtool::ExceptionReason(failure));
    }
}
