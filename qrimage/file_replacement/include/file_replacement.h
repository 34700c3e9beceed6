// Atomic replacement of a file: the one way the library, the tool and the
// window write files. The component's only public header.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qrimage {

// A file name as the platform's file functions take it, relative to the
// current folder unless absolute: on Windows the UTF-16 units of the wide
// file API, elsewhere the bytes of the path.
#if defined(_WIN32)
using NativeFileName = std::u16string;
#else
using NativeFileName = std::string;
#endif

// What becomes of an existing target's owner, mode and link.
enum class Ownership {
    // As for a file opened, truncated and written in place (see AtomicFile):
    // a link's file is replaced, mode, owner and group are kept. The
    // pictures and drawings a caller asks for.
    KeepTarget,
    // The name gets a new file of the caller's that nobody else may write
    // (0666 less the umask, less write for group and others), whoever owned
    // what it named; a link there is replaced, not followed, and the
    // target's own permissions are not asked (the folder's decide). For a
    // file the caller trusts afterwards, such as a library it loads.
    CallersAlone,
};

// A file being written for its target's folder, without the target's name.
// Commit gives it that name; until then the target keeps its old content, and
// a writer destroyed without a successful Commit leaves nothing. So a failed
// write (a full disk, say) never leaves a truncated target or a stray file
// behind.
//
// With Ownership::KeepTarget the result is what a caller that opens,
// truncates and writes the target in place would get, so that replacing a
// file surprises nobody who shares it:
// - an existing target the caller may not write (read-only file, read-only
//   file system) is left alone: Open, or where the target is first looked
//   at when its name is given (an unnamed file, POSIX), Commit fails and
//   nothing is created;
// - a target that is a symbolic link has the file it points to replaced, the
//   link stays;
// - a replaced file keeps its permission bits, and its owner and group as far
//   as the caller may set them (a member of the file's group keeps the
//   group); a new file gets 0666 less the umask, as open(2) would give it.
// The replaced file is a new file: other hard links keep the old content.
// Only regular files are replaced; a directory, device or pipe is refused.
//
// Other users of a shared folder are kept out (POSIX):
// - a link in a sticky, world-writable folder (/tmp) that belongs neither to
//   the caller nor to the folder's owner is not followed, at the end of the
//   path or in its folder part (EACCES, nothing written), whatever the
//   kernel's fs.protected_symlinks says; the path is looked up one name at a
//   time in folders held open, so no folder can be swapped for a link
//   between that check and the write;
// - a named temporary file is the caller's alone (0600) until it is
//   complete: it gets its final mode just before the rename (an unnamed one
//   can be opened by nobody else at all);
// - a new file's mode is what open(2) with 0666 gives it: the kernel applies
//   the umask to an unnamed file, and a named temporary one gets the mode
//   of an unnamed file made and dropped for the purpose (or, where the file
//   system cannot make one, 0666 less the umask learnt once a process),
//   never read from a file that someone may have forged (/proc);
// - its descriptor is never 0, 1 or 2, so that a write meant for a standard
//   stream that the program has closed never lands in the file.
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
    // or a target that is no regular file. `ownership` says what the new file
    // keeps of the target's (POSIX; on Windows the file system's rules hold
    // either way). Where the file is written unnamed (POSIX), the last name
    // of the path is first looked at when the file is named, so that a new
    // file costs no look: a target found then is refused by Commit for the
    // same reasons. Throws std::bad_alloc.
    static std::optional<AtomicFile> Open(const NativeFileName& path, std::size_t bufferBytes,
                                          Ownership ownership = Ownership::KeepTarget);

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

    // POSIX: Open, looking at the last name first when `lookFirst`.
    static std::optional<AtomicFile> OpenPosix(const NativeFileName& path, std::size_t bufferBytes,
                                               Ownership ownership, bool lookFirst);
    bool CommitUnnamed(bool& asTarget) noexcept;
    bool ReplaceFoundTarget() noexcept;
    bool CopyThroughLink() noexcept;
    bool RenameOverTarget() noexcept;

    int fd_;
    // POSIX: the permission bits the file gets once complete, when
    // setFinalMode_; otherwise it keeps those it was made with.
    uint32_t finalMode_ = 0;
    bool setFinalMode_ = false;
    // POSIX: the file has no name yet (O_TMPFILE); tempPath_ is empty until
    // Commit names it.
    bool unnamed_ = false;
    // POSIX: the target existed when the file was opened.
    bool replacing_ = false;
    // POSIX: what Open was asked, for a target first found at Commit.
    bool keepTarget_ = true;
    NativeFileName path_;
    // POSIX: the target's folder, held open; the two names are names in it.
    // Elsewhere -1, and the names are paths.
    int folderFd_ = -1;
    NativeFileName tempPath_;
    NativeFileName targetPath_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t bufferBytes_;
    std::size_t buffered_ = 0;
    bool failed_ = false;
    bool committed_ = false;
};

// Replaces `path` with exactly `bytes` through one AtomicFile, for callers
// outside the library's exports (the tool, the window) that want the reason as
// a value. Returns 0, or the system's code for the first failure (errno;
// GetLastError on Windows), which is also left as the thread's error code.
// Throws std::bad_alloc.
uint32_t ReplaceFileWith(const NativeFileName& path, std::string_view bytes,
                         Ownership ownership = Ownership::KeepTarget);

}  // namespace qrimage
