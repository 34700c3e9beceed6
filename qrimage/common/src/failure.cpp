#include "failure.h"

namespace qrimage {
namespace {

struct PendingFailure {
    bool recorded;
    uint32_t code;  // the platform's code for the reason
};

// Plain data, so the thread-local needs no constructor or destructor. In
// the static TLS block: a library loaded with dlopen would otherwise get it
// from malloc at a thread's first export, which, when memory runs out, ends
// the process.
#if defined(__ELF__)
[[gnu::tls_model("initial-exec")]]
#endif
thread_local PendingFailure pending{};

void Record(uint32_t code) noexcept {
    if (!pending.recorded) {
        pending = {true, code};
    }
}

}  // namespace

void RecordFailure(Failure reason) noexcept {
    Record(SystemErrorFor(reason));
}

void RecordSystemFailure() noexcept {
    Record(CurrentSystemError());
}

bool FailureRecorded() noexcept {
    return pending.recorded;
}

ExportScope::ExportScope() noexcept : callerError_(CurrentSystemError()) {
    pending = {};
}

ExportScope::~ExportScope() {
    SetSystemError(pending.recorded ? pending.code : callerError_);
    pending = {};
}

}  // namespace qrimage
