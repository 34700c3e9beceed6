// Atomic replacement of a file on Windows: a temporary file in the target's
// folder, written through the C runtime's descriptors, then ReplaceFileW over
// an existing target (which keeps the target's attributes and security) or
// MoveFileExW for a new one. Paths arrive as UTF-8 and go to the wide file
// API, so every name the W functions can take reaches the file system.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "atomic_file.h"

namespace qrimage {

namespace {

constexpr int kMaxTempNameTries = 100;

std::wstring WidePath(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                          int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(units > 0 ? units : 0), L'\0');
    if (units > 0) {
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()),
                            wide.data(), units);
    }
    return wide;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) {
        // "C:name" is relative to drive C's current folder.
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "." : ".";
    }
    return path.substr(0, slash + 1 == 3 && path[1] == ':' ? 3 : (slash == 0 ? 1 : slash));
}

// Distinct for concurrent writers in one process; the process id and time
// separate processes, and _O_EXCL settles any collision left.
std::string TempSuffix(int attempt) {
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    char text[40];
    std::snprintf(text, sizeof text, "%08lx%08llx%04x", GetCurrentProcessId(),
                  static_cast<unsigned long long>(now.QuadPart),
                  (counter.fetch_add(1) + unsigned(attempt)) & 0xFFFFu);
    return text;
}

int CreateTempFile(const std::string& folder, std::string& tempPath) {
    const std::string separator = folder.back() == '\\' || folder.back() == '/' ? "" : "\\";
    for (int attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
        tempPath = folder + separator + ".qrimage-" + TempSuffix(attempt) + ".tmp";
        const int fd =
            _wopen(WidePath(tempPath).c_str(),
                   _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

std::optional<AtomicFile> AtomicFile::Open(const std::string& path, std::size_t bufferBytes) {
    const std::wstring target = WidePath(path);
    if (target.empty() || target.back() == L'\\' || target.back() == L'/') {
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // A read-only file is left alone, as is anything but a plain file.
        if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            return std::nullopt;
        }
    }
    std::string targetPath = path;
    std::string tempPath;
    const int fd = CreateTempFile(DirectoryOf(targetPath), tempPath);
    if (fd < 0) {
        return std::nullopt;
    }
    AtomicFile file(fd, std::move(tempPath), std::move(targetPath), bufferBytes);
    if (bufferBytes > 0) {
        file.buffer_ = std::make_unique_for_overwrite<unsigned char[]>(bufferBytes);
    }
    return file;
}

AtomicFile::AtomicFile(int fd, std::string tempPath, std::string targetPath,
                       std::size_t bufferBytes)
    : fd_(fd),
      tempPath_(std::move(tempPath)),
      targetPath_(std::move(targetPath)),
      bufferBytes_(bufferBytes) {}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
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

void AtomicFile::Discard() noexcept {
    if (fd_ >= 0) {
        _close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !tempPath_.empty()) {
        try {
            DeleteFileW(WidePath(tempPath_).c_str());
        } catch (...) {  // out of memory for the name: the file stays behind
        }
        tempPath_.clear();
    }
}

bool AtomicFile::WriteThrough(const unsigned char* data, std::size_t size) noexcept {
    while (size > 0) {
        const unsigned piece = unsigned(std::min<std::size_t>(size, 1u << 30));
        const int written = _write(fd_, data, piece);
        if (written <= 0) {
            failed_ = true;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
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

bool AtomicFile::Commit() noexcept {
    if (fd_ < 0 || committed_) {
        return false;
    }
    const bool written = !failed_ && FlushBuffer();
    const bool closed = _close(std::exchange(fd_, -1)) == 0;
    bool moved = false;
    if (written && closed) {
        try {
            const std::wstring temp = WidePath(tempPath_);
            const std::wstring target = WidePath(targetPath_);
            // ReplaceFileW keeps an existing target's attributes and security;
            // a target that does not exist (any more) is simply moved into place.
            moved = ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
                    (GetLastError() == ERROR_FILE_NOT_FOUND &&
                     MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
        } catch (...) {
            moved = false;
        }
    }
    if (!moved) {
        Discard();
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace qrimage
