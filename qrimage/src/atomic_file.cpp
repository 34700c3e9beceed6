// The platform-independent half of AtomicFile: gathering small pieces in the
// buffer. Opening, writing through, committing and discarding are the
// platform's (atomic_file_posix.cpp, atomic_file_win32.cpp).
#include <cstring>
#include <utility>

#include "atomic_file.h"

namespace qrimage {

bool AtomicFile::FlushBuffer() noexcept {
    const std::size_t pending = std::exchange(buffered_, 0);
    return WriteThrough(buffer_.get(), pending);
}

bool AtomicFile::Write(const void* data, std::size_t size) noexcept {
    if (failed_ || fd_ < 0) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size <= bufferBytes_ - buffered_) {
        std::memcpy(buffer_.get() + buffered_, bytes, size);
        buffered_ += size;
        return true;
    }
    if (!FlushBuffer()) {
        return false;
    }
    if (size < bufferBytes_) {
        std::memcpy(buffer_.get(), bytes, size);
        buffered_ = size;
        return true;
    }
    return WriteThrough(bytes, size);
}

}  // namespace qrimage
