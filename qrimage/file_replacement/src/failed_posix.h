// A failed step of a POSIX system call, recorded as the export's reason
// (failure.h) and returned as "nothing", so that it reads as one step.
#pragma once

#include <cerrno>
#include <optional>

#include "failure.h"

namespace qrimage {

// Records errno as the reason: call right after the system call that failed.
inline std::nullopt_t FailedBySystem() {
    RecordSystemFailure();
    return std::nullopt;
}

// Records `error` (an errno value) as the reason.
inline std::nullopt_t FailedWith(int error) {
    errno = error;
    return FailedBySystem();
}

}  // namespace qrimage
