#include <cstring>

#include "failure_reason.h"

namespace qrtool {

// The C runtime's strerror keeps its message per thread, and words it as
// the GNU library does for the reasons the tool meets.
std::string SystemReason(int errorNumber) {
    return std::strerror(errorNumber);
}

}  // namespace qrtool
