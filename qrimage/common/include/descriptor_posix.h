// Descriptors of the library's own on POSIX systems: closed by their owner,
// and never 0, 1 or 2.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace qrimage {

// A descriptor that closes itself.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int Get() const noexcept { return fd_; }
    int Release() noexcept { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// Takes `fd` (an open descriptor, or -1 passed through) and returns it moved
// to 3 or above, close-on-exec: a program that has closed a standard stream
// may still write to it (a stray printf, a thread's log line), and that must
// never land in a file of the library's. -1 with errno set when that fails,
// EMFILE when no descriptor above 2 is free; `fd` is closed then.
inline int AboveStandardStreams(int fd) {
    if (fd < 0 || fd > 2) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int error = errno;
    close(fd);
    if (moved < 0) {
        errno = error == EINVAL ? EMFILE : error;  // EINVAL: 3 is past the limit
    }
    return moved;
}

}  // namespace qrimage
