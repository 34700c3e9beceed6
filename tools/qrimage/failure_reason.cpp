#include "failure_reason.h"

#include <cerrno>
#include <new>

#include "file_access.h"
#include "options.h"

namespace qrtool {

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
            if (std::string what = path.empty() ? "" : NoRegularFileReason(path); !what.empty()) {
                return "cannot write " + path + ": " + what;
            }
            [[fallthrough]];
        default:
            return path.empty() ? SystemReason(errorNumber)
                                : "cannot write " + path + ": " + SystemReason(errorNumber);
    }
}

}  // namespace qrtool
