// The platform-independent half of AtomicFile: construction, moves and the
// gathering of small pieces in the buffer. Opening, writing through,
// committing and discarding are the platform's (atomic_file_posix.cpp,
// atomic_file_win32.cpp).
#include <cstring>
#include <utility>

#include "file_replacement.h"

namespace qrimage {

AtomicFile::AtomicFile(int fd, NativeFileName tempPath, NativeFileName targetPath,
                       std::size_t bufferBytes)
    : fd_(fd),
      tempPath_(std::move(tempPath)),
      targetPath_(std::move(targetPath)),
      bufferBytes_(bufferBytes) {}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      finalMode_(other.finalMode_),
      setFinalMode_(other.setFinalMode_),
      unnamed_(other.unnamed_),
      replacing_(other.replacing_),
      keepTarget_(other.keepTarget_),
      path_(std::move(other.path_)),
      folderFd_(std::exchange(other.folderFd_, -1)),
      tempPath_(std::move(other.tempPath_)),
      targetPath_(std::move(other.targetPath_)),
      buffer_(std::move(other.buffer_)),
      bufferBytes_(other.bufferBytes_),
      buffered_(std::exchange(other.buffered_, 0)),
      failed_(other.failed_),
      committed_(std::exchange(other.committed_, true)) {
    other.tempPath_.clear();
}

AtomicFile::~AtomicFile() {
    Discard();
}

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
