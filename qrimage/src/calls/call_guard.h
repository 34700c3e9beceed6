// The C boundary of the library: no exception may leave an export, and every
// export leaves the caller's error code as it found it unless it failed.
#pragma once

#include <new>
#include <utility>

#include "failure.h"

namespace qrimage {

// Runs `body` for an export and returns its result; if it throws, returns
// `onFailure` instead (std::bad_alloc and every other exception the standard
// library throws for a lack of memory or a size it cannot hold is
// OutOfMemory). Every export goes through here.
template <class Result, class Body>
Result CallGuarded(Result onFailure, Body&& body) noexcept {
    const ExportScope scope;
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        RecordFailure(Failure::OutOfMemory);
        return onFailure;
    }
}

// The same for exports without a result.
template <class Body>
void CallGuarded(Body&& body) noexcept {
    const ExportScope scope;
    try {
        std::forward<Body>(body)();
    } catch (...) {
        RecordFailure(Failure::OutOfMemory);
    }
}

}  // namespace qrimage
