// The C boundary of the library: no exception may leave an export.
#pragma once

#include <utility>

namespace qrimage {

// Runs `body` and returns its result; if it throws anything (std::bad_alloc
// above all), returns `onFailure` instead. Every export goes through here.
template <class Result, class Body>
Result CallGuarded(Result onFailure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return onFailure;
    }
}

// The same for exports without a result.
template <class Body>
void CallGuarded(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace qrimage
