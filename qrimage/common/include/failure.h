// Why a call produced nothing: the one place that records the reason of a
// failed export, whatever the platform reports it through.
#pragma once

#include <cstdint>

namespace qrimage {

// The reasons a caller can tell apart. The platform seam maps each to its own
// code (errno on POSIX, the thread's last error on Windows); SystemError
// carries the code the system gave.
enum class Failure : uint8_t {
    InvalidArgument,  // a null or empty text, level, margin, moduleSize, file name, handle
    TextTooLong,      // the text does not fit a version 40 symbol at that level
    PictureTooLarge,  // the pixel memory would exceed 2^31 - 1 bytes
    OutOfMemory,
    SystemError,  // the file system's own reason
};

// Records the reason of the running export's failure on the calling thread.
// The first reason recorded during one export wins: later ones are the
// consequences of the first (a clean-up that fails after a full disk, say).
void RecordFailure(Failure reason) noexcept;

// Records SystemError with the system's current code (errno; GetLastError on
// Windows): call it right after the system call that failed.
void RecordSystemFailure() noexcept;

// Whether the running export has recorded a failure.
bool FailureRecorded() noexcept;

// Brackets one export on the calling thread: forgets reasons of earlier calls
// and keeps the caller's error code. When it ends, the caller's error code is
// restored if nothing failed, or set to the recorded reason otherwise.
class ExportScope {
  public:
    ExportScope() noexcept;
    ~ExportScope();
    ExportScope(const ExportScope&) = delete;
    ExportScope& operator=(const ExportScope&) = delete;

  private:
    uint32_t callerError_;
};

// ---- The platform seam ----
// One file per platform: failure_posix.cpp speaks errno, failure_win32.cpp
// the thread's last error (GetLastError, SetLastError).

// The calling thread's error code, and setting it.
uint32_t CurrentSystemError() noexcept;
void SetSystemError(uint32_t code) noexcept;

// The platform's code for a reason other than SystemError.
uint32_t SystemErrorFor(Failure reason) noexcept;

}  // namespace qrimage
