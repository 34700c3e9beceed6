// Atomic replacement of a file: the one way the library writes files.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "file_name.h"

namespace qrimage {

// A file being written under a temporary name in its target's folder. Commit
// renames it over the target; until then the target keeps its old content,
// and a writer destroyed without a successful Commit removes the temporary
// file. So a failed write (a full disk, say) never leaves a truncated target
// or a stray file behind.
//
// What callers of the old truncate-and-write approach relied on still holds:
// - an existing target the caller may not write (read-only file, read-only
//   file system) is left alone: Open fails and nothing is created;
// - a target that is a symbolic link has the file it points to replaced, the
//   link stays;
// - a replaced file keeps its permission bits, and its owner and group as far
//   as the caller may set them (a member of the file's group keeps the
//   group); a new file gets 0666 less the umask, as open(2) would give it.
// The replaced file is a new file: other hard links keep the old content.
// Only regular files are replaced; a directory, device or pipe is refused.
//
// One writer belongs to one thread at a time; separate writers are
// independent.
class AtomicFile {
  public:
    // Prepares to replace `path` (bytes as the file system takes them,
    // relative to the current folder unless absolute). Small pieces given to
    // Write are gathered in a buffer of `bufferBytes` before they reach the
    // file; with 0 every piece goes to the file at once. Returns nullopt, with
    // nothing created, when the target may not or cannot be written or its
    // folder cannot take a new file; the reason is recorded (failure.h): the
    // system's errno, EISDIR for a folder, InvalidArgument for an empty name
    // or a target that is no regular file. Throws std::bad_alloc.
    static std::optional<AtomicFile> Open(const NativeFileName& path, std::size_t bufferBytes);

    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&&) = delete;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // Appends `size` bytes. Returns false when this or an earlier write
    // failed (errno recorded); after a failure nothing more is written and
    // Commit fails.
    bool Write(const void* data, std::size_t size) noexcept;

    // Finishes the file and renames it over the target. Returns true when the
    // target now holds exactly what was written; false (temporary file
    // removed, target untouched, reason recorded) otherwise. Call at most
    // once.
    bool Commit() noexcept;

  private:
    AtomicFile(int fd, NativeFileName tempPath, NativeFileName targetPath, std::size_t bufferBytes);

    bool FlushBuffer() noexcept;
    bool WriteThrough(const unsigned char* data, std::size_t size) noexcept;
    void Discard() noexcept;

    int fd_;
    NativeFileName tempPath_;
    NativeFileName targetPath_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t bufferBytes_;
    std::size_t buffered_ = 0;
    bool failed_ = false;
    bool committed_ = false;
};

}  // namespace qrimage
