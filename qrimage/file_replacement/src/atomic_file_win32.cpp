// Atomic replacement of a file on Windows: a temporary file in the target's
// folder, then ReplaceFileW over an existing target (which keeps the
// target's attributes and security) or MoveFileExW for a new one. Names are
// UTF-16 and go to the wide file API as given. The descriptor in fd_ is the
// C runtime's wrapper of a CreateFileW handle, so every failure leaves its
// reason in GetLastError for RecordSystemFailure.
#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <utility>

#include "failure.h"
#include "file_replacement.h"

namespace qrimage {

namespace {

constexpr int kMaxTempNameTries = 100;

const wchar_t* Wide(const NativeFileName& name) {
    return reinterpret_cast<const wchar_t*>(name.c_str());
}

bool IsSeparator(char16_t unit) {
    return unit == u'\\' || unit == u'/';
}

// The folder part with its separator ("" for a bare name, "C:" for "C:x").
NativeFileName FolderPrefixOf(const NativeFileName& path) {
    std::size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1]) && !(end == 2 && path[1] == u':')) {
        --end;
    }
    return path.substr(0, end);
}

// Distinct for concurrent writers in one process; the process id and the
// clock separate processes, and CREATE_NEW settles any collision left.
NativeFileName TempName(int attempt) {
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    char text[48];
    std::snprintf(text, sizeof text, ".qrimage-%08lx%08llx%04x.tmp", GetCurrentProcessId(),
                  static_cast<unsigned long long>(now.QuadPart),
                  (counter.fetch_add(1) + unsigned(attempt)) & 0xFFFFu);
    return NativeFileName(text, text + std::strlen(text));
}

// A new, empty temporary file beside the target, as a C runtime descriptor;
// -1 with the reason recorded.
int CreateTempFile(const NativeFileName& folder, NativeFileName& tempPath) {
    for (int attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
        tempPath = folder + TempName(attempt);
        const HANDLE handle = CreateFileW(Wide(tempPath), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            RecordSystemFailure();
            return -1;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
        if (fd < 0) {
            CloseHandle(handle);
            DeleteFileW(Wide(tempPath));
            RecordFailure(Failure::OutOfMemory);  // the runtime's descriptor table is full
        }
        return fd;
    }
    RecordSystemFailure();
    return -1;
}

}  // namespace

std::optional<AtomicFile> AtomicFile::Open(const NativeFileName& path, std::size_t bufferBytes,
                                           Ownership) {
    if (path.empty()) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // A read-only file is left alone, as CreateFileW would leave it; so
        // is a folder.
        if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            RecordSystemFailure();
            return std::nullopt;
        }
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        RecordSystemFailure();  // a missing folder, a bad name, no access
        return std::nullopt;
    }

    NativeFileName targetPath = path;
    NativeFileName tempPath;
    const int fd = CreateTempFile(FolderPrefixOf(targetPath), tempPath);
    if (fd < 0) {
        return std::nullopt;
    }
    AtomicFile file(fd, std::move(tempPath), std::move(targetPath), bufferBytes);
    if (bufferBytes > 0) {
        file.buffer_ = std::make_unique_for_overwrite<unsigned char[]>(bufferBytes);
    }
    return file;
}

void AtomicFile::Discard() noexcept {
    if (fd_ >= 0) {
        _close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !tempPath_.empty()) {
        DeleteFileW(Wide(tempPath_));
        tempPath_.clear();
    }
}

bool AtomicFile::WriteThrough(const unsigned char* data, std::size_t size) noexcept {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    while (size > 0) {
        DWORD written = 0;
        const DWORD piece = DWORD(std::min<std::size_t>(size, 1u << 30));
        if (!WriteFile(handle, data, piece, &written, nullptr) || written == 0) {
            if (written == 0 && GetLastError() == ERROR_SUCCESS) {
                SetLastError(ERROR_WRITE_FAULT);
            }
            RecordSystemFailure();
            failed_ = true;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool AtomicFile::Commit() noexcept {
    if (fd_ < 0 || committed_) {
        return false;
    }
    // A failed write has recorded its reason already.
    const bool written = !failed_ && FlushBuffer();
    bool moved = false;
    if (_close(std::exchange(fd_, -1)) != 0) {
        RecordSystemFailure();
    } else if (written) {
        // ReplaceFileW keeps an existing target's attributes and security; a
        // target that does not exist (any more) is moved into place.
        moved = ReplaceFileW(Wide(targetPath_), Wide(tempPath_), nullptr,
                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
                (GetLastError() == ERROR_FILE_NOT_FOUND &&
                 MoveFileExW(Wide(tempPath_), Wide(targetPath_), MOVEFILE_REPLACE_EXISTING));
        if (!moved) {
            RecordSystemFailure();
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
