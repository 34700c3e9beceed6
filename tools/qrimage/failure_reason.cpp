#include "failure_reason.h"

#include <cerrno>

#include "options.h"

namespace qrtool {

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
        default:
            return path.empty() ? SystemReason(errorNumber)
                                : "cannot write " + path + ": " + SystemReason(errorNumber);
    }
}

}  // namespace qrtool
