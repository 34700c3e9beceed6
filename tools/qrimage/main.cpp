// qrimage: QR code pictures from the command line, over libqrimage.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>
#include <variant>

#include "batch_runner.h"
#include "colours_command.h"
#include "failure_reason.h"
#include "options.h"
#include "picture_output.h"
#include "usage_text.h"
#include "utf8_text.h"

namespace {

using qrtool::Format;
using qrtool::Options;

int Fail(const std::string& message) {
    std::fprintf(stderr, "qrimage: %s\n", message.c_str());
    return 1;
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
                            ": name it .png, .bmp or .txt, or use -t");
    }
    std::string bytes;
    if (options.text && *options.text != "-") {
        bytes = *options.text;
    } else if (std::optional<std::string> input = qrtool::ReadAll(stdin)) {
        bytes = std::move(*input);
    } else {
        return Fail("cannot read standard input: " + qrtool::SystemReason(errno));
    }
    std::string reason;
    const std::optional<std::u16string> text = qrtool::Utf8ToUtf16(bytes, reason);
    if (!text) {
        return Fail(reason);
    }
    const std::string failure =
        toStandardOutput
            ? qrtool::WritePictureToStream(*text, options.settings, *format, stdout,
                                           isatty(STDOUT_FILENO) != 0)
            : qrtool::WritePictureFile(*text, options.settings, *format, *options.output);
    return failure.empty() ? 0 : Fail(failure);
}

int Run(int argc, char** argv) {
    const auto parsed = qrtool::ParseArguments(argc, argv);
    if (const auto* error = std::get_if<qrtool::UsageError>(&parsed)) {
        return UsageFailure(error->message);
    }
    const Options& options = std::get<Options>(parsed);
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

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& failure) {
        return Fail(failure.what());
    }
}
