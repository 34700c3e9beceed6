#include "failure_reason.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "options.h"

namespace qrtool {

std::string SystemReason(int errorNumber) {
    char buffer[256];
    // GNU strerror_r: returns the message, in `buffer` or a static string.
    return strerror_r(errorNumber, buffer, sizeof buffer);
}

namespace {

// What `path` is when the library refuses it as a target that is no regular
// file (EINVAL says only that some argument was wrong); "" otherwise.
std::string NoRegularFile(const std::string& path) {
    struct stat target {};
    if (stat(path.c_str(), &target) != 0) {
        return "";
    }
    return S_ISFIFO(target.st_mode)   ? "it is a named pipe, not a regular file"
           : S_ISSOCK(target.st_mode) ? "it is a socket, not a regular file"
           : S_ISCHR(target.st_mode) || S_ISBLK(target.st_mode)
               ? "it is a device, not a regular file"
               : "";
}

}  // namespace

std::string DrawingFailure(int errorNumber, int32_t level) {
    return errorNumber == EFBIG ? "drawing too large (its modules would pass 2 GiB): choose a "
                                  "smaller margin"
                                : LibraryFailure(errorNumber, level, "");
}

std::string ExceptionReason(const std::exception& failure) {
    return dynamic_cast<const std::bad_alloc*>(&failure) != nullptr ? LibraryFailure(ENOMEM, 0, "")
                                                                    : failure.what();
}

std::string LibraryFailure(int errorNumber, int32_t level, const std::string& path) {
    switch (errorNumber) {
        case ERANGE:
            return std::string("text too long for a QR code at level ") + LevelLetter(level);
        case EFBIG:
            return "picture too large (its pixels would pass 2 GiB): choose a smaller size or "
                   "margin";
        case ENOMEM:
            return "out of memory";
        case 0:
            return path.empty() ? "the library made no picture and gave no reason"
                                : "cannot write " + path + ": the library gave no reason";
        case EINVAL:
            if (std::string what = path.empty() ? "" : NoRegularFile(path); !what.empty()) {
                return "cannot write " + path + ": " + what;
            }
            [[fallthrough]];
        default:
            return path.empty() ? SystemReason(errorNumber)
                                : "cannot write " + path + ": " + SystemReason(errorNumber);
    }
}

}  // namespace qrtool
