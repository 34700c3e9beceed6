#include <cstring>

#include "failure_reason.h"

namespace qrtool {

std::string SystemReason(int errorNumber) {
    char buffer[256];
    // GNU strerror_r: returns the message, in `buffer` or a static string.
    return strerror_r(errorNumber, buffer, sizeof buffer);
}

}  // namespace qrtool
