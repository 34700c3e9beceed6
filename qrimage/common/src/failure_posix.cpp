// The failure reasons as errno values.
#include <cerrno>

#include "failure.h"

namespace qrimage {

uint32_t CurrentSystemError() noexcept {
    return uint32_t(errno);
}

void SetSystemError(uint32_t code) noexcept {
    errno = int(code);
}

uint32_t SystemErrorFor(Failure reason) noexcept {
    switch (reason) {
        case Failure::InvalidArgument:
            return EINVAL;
        case Failure::TextTooLong:
            return ERANGE;  // libqrencode's own report for it
        case Failure::PictureTooLarge:
            return EFBIG;
        case Failure::OutOfMemory:
            return ENOMEM;
        case Failure::SystemError:
            break;
    }
    return uint32_t(errno);
}

}  // namespace qrimage
