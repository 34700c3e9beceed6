// The failure reasons as the thread's last error (GetLastError), the same
// table as errno on POSIX systems.
#include <windows.h>

#include "failure.h"

namespace qrimage {

uint32_t CurrentSystemError() noexcept {
    return GetLastError();
}

void SetSystemError(uint32_t code) noexcept {
    SetLastError(code);
}

uint32_t SystemErrorFor(Failure reason) noexcept {
    switch (reason) {
        case Failure::InvalidArgument:
            return ERROR_INVALID_PARAMETER;  // EINVAL
        case Failure::TextTooLong:
            return ERROR_INSUFFICIENT_BUFFER;  // ERANGE: no symbol is large enough
        case Failure::PictureTooLarge:
            return ERROR_FILE_TOO_LARGE;  // EFBIG
        case Failure::OutOfMemory:
            return ERROR_NOT_ENOUGH_MEMORY;  // ENOMEM
        case Failure::SystemError:
            break;
    }
    return GetLastError();
}

}  // namespace qrimage
