#include "atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "failure.h"

namespace qrimage {

namespace {

// Records errno as the reason: call right after the system call that failed.
// Returns what the failing function returns, so that it reads as one step.
std::nullopt_t FailedBySystem() {
    RecordSystemFailure();
    return std::nullopt;
}

std::nullopt_t FailedWith(int error) {
    errno = error;
    return FailedBySystem();
}

// The kernel's own limit on symbolic links followed in one lookup.
constexpr int kMaxLinkHops = 40;
constexpr int kMaxTempNameTries = 100;

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::optional<std::string> ReadLink(const std::string& path, off_t sizeHint) {
    // Some file systems report 0 as the size of a link: grow until it fits.
    std::string target(std::size_t(sizeHint > 0 ? sizeHint : 64) + 1, '\0');
    for (;;) {
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0) {
            return FailedBySystem();
        }
        if (std::size_t(length) < target.size()) {
            target.resize(std::size_t(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// Whether the link `path` (its lstat in `link`) may be followed. Not when it
// lies in a sticky, world-writable folder (/tmp, say) and belongs neither to
// the caller nor to the folder's owner: another user may have planted it
// there, so that the caller replaces a file of their own or creates one where
// the planter chose. The kernel refuses exactly this to open(2) when
// fs.protected_symlinks is set; the links are followed here, not by the
// kernel, so the rule is applied here, whatever that setting. False with
// errno set (EACCES for a refused link).
bool MayFollow(const std::string& path, const struct stat& link) {
    if (link.st_uid == geteuid()) {
        return true;
    }
    struct stat folder {};
    if (stat(DirectoryOf(path).c_str(), &folder) != 0) {
        return false;
    }
    constexpr mode_t kShared = S_ISVTX | S_IWOTH;
    if ((folder.st_mode & kShared) != kShared || link.st_uid == folder.st_uid) {
        return true;
    }
    errno = EACCES;
    return false;
}

// Follows symbolic links in the last component of `path` until it names
// something that is not a link, or nothing. Returns nullopt for a link loop
// or a path that cannot be examined, and for a link that another user may
// have planted (MayFollow). Links in the folder part need no help: the kernel
// follows them when the temporary file is created.
std::optional<std::string> ResolveFinalLinks(std::string path) {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0) {
            if (errno == ENOENT) {
                return path;  // a new file (or a dangling link's target)
            }
            return FailedBySystem();
        }
        if (!S_ISLNK(status.st_mode)) {
            return path;
        }
        if (!MayFollow(path, status)) {
            return FailedBySystem();
        }
        std::optional<std::string> target = ReadLink(path, status.st_size);
        if (!target) {
            return std::nullopt;
        }
        if (target->empty()) {
            return FailedWith(ENOENT);
        }
        path = (*target)[0] == '/' ? *target : DirectoryOf(path) + "/" + *target;
    }
    return FailedWith(ELOOP);
}

// Random enough that concurrent writers (threads or processes) into one
// folder do not collide; O_EXCL settles the rare collision anyway.
std::string RandomSuffix(int attempt) {
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != sizeof bits) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        bits = uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 30) ^ (uint64_t(getpid()) << 40) ^
               uint64_t(reinterpret_cast<uintptr_t>(&now)) ^ uint64_t(attempt);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

// Takes `fd` (an open descriptor, or -1 passed through) and returns it moved
// to 3 or above, close-on-exec: a program that has closed a standard stream
// may still write to it (a stray printf, a thread's log line), and that must
// never land in a file of the library's. -1 with errno set when that fails,
// EMFILE when no descriptor above 2 is free; `fd` is closed then.
int AboveStandardStreams(int fd) {
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

// The calling thread's umask, read from the "Umask:" line of its status in
// /proc (Linux 4.7 on). umask(2) can only read it by setting it, and the
// set-and-restore would give a file that another thread creates in between
// the wrong mode, or, when two threads do it at once, leave the wrong umask
// for good. Nullopt when it cannot be read.
std::optional<mode_t> CurrentUmask() {
    const int fd = AboveStandardStreams(open("/proc/thread-self/status", O_RDONLY | O_CLOEXEC));
    if (fd < 0) {
        return std::nullopt;
    }
    // The line comes second, after the name (at most 64 bytes, escaped).
    char text[256];
    const ssize_t length = read(fd, text, sizeof text - 1);
    close(fd);
    text[length > 0 ? length : 0] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    if (line == nullptr) {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long mask = std::strtoul(line + 7, &end, 8);
    return end != line + 7 && *end == '\n' ? std::optional(mode_t(mask & 0777)) : std::nullopt;
}

// The mode of the temporary file while it is written: the caller's alone, so
// that nobody else can open it and read it, whole or in part, before it
// replaces the target.
constexpr mode_t kWritingMode = 0600;

// Creates a new, empty temporary file in `folder`, mode kWritingMode (less
// the umask, as open(2) applies it). Returns the descriptor, or -1 with errno
// set.
int CreateTempFile(const std::string& folder, std::string& tempPath) {
    for (int attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
        tempPath = folder + "/.qrimage-" + RandomSuffix(attempt) + ".tmp";
        const int fd =
            open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kWritingMode);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        const int moved = AboveStandardStreams(fd);
        if (fd >= 0 && moved < 0) {
            const int error = errno;
            unlink(tempPath.c_str());
            errno = error;
        }
        return moved;
    }
    return -1;  // errno: EEXIST
}

}  // namespace

std::optional<AtomicFile> AtomicFile::Open(const std::string& path, std::size_t bufferBytes) {
    if (path.empty()) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    if (path.back() == '/') {
        return FailedWith(EISDIR);  // what open(2) says for a folder's name
    }
    const std::optional<std::string> target = ResolveFinalLinks(path);
    if (!target) {
        return std::nullopt;
    }

    struct stat existing {};
    const bool replacing = lstat(target->c_str(), &existing) == 0;
    if (replacing) {
        // The caller's right to write the target is what the target's own
        // permissions say, although the rename needs only the folder's.
        if (S_ISDIR(existing.st_mode)) {
            return FailedWith(EISDIR);
        }
        if (!S_ISREG(existing.st_mode)) {
            RecordFailure(Failure::InvalidArgument);  // a device, pipe or socket
            return std::nullopt;
        }
        if (faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) {
            return FailedBySystem();
        }
    } else if (errno != ENOENT) {
        return FailedBySystem();
    }

    // From its creation on, the temporary file belongs to `file`: whatever
    // fails or throws later (the buffer's allocation) leaves through its
    // destructor, which removes it. Before, only moves happen.
    std::string targetPath = *target;
    std::string tempPath;
    const int fd = CreateTempFile(DirectoryOf(targetPath), tempPath);
    if (fd < 0) {
        return FailedBySystem();
    }
    AtomicFile file(fd, std::move(tempPath), std::move(targetPath), bufferBytes);
    if (replacing) {
        // Owner first: changing it clears set-id bits that the final mode,
        // given in Commit, restores.
        // Only a privileged caller can give the file back to another owner;
        // anyone else keeps the group at least when they belong to it, and
        // otherwise their own ownership, as any rewrite would.
        if ((existing.st_uid != geteuid() || existing.st_gid != getegid()) &&
            fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            (void)fchown(fd, uid_t(-1), existing.st_gid);
        }
        file.finalMode_ = existing.st_mode & 07777;
    } else {
        // What open(2) would give a new file. With the umask unknown the
        // file stays the caller's alone: narrower than it should be, never
        // wider.
        file.finalMode_ = 0666 & ~CurrentUmask().value_or(0177);
    }
    if (bufferBytes > 0) {
        file.buffer_ = std::make_unique_for_overwrite<unsigned char[]>(bufferBytes);
    }
    return file;
}

void AtomicFile::Discard() noexcept {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !tempPath_.empty()) {
        unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

bool AtomicFile::WriteThrough(const unsigned char* data, std::size_t size) noexcept {
    while (size > 0) {
        const ssize_t written = write(fd_, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;  // a device that takes nothing and says nothing
            }
            RecordSystemFailure();
            failed_ = true;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

bool AtomicFile::Commit() noexcept {
    if (fd_ < 0 || committed_) {
        return false;
    }
    // No fsync: the promise is that a failed write never damages the target,
    // not durability across a power cut, and a sync per picture would cost
    // more than the picture. (ext4 flushes a file renamed over another anyway.)
    // A failed write has recorded its reason already.
    bool written = !failed_ && FlushBuffer();
    // Only now, complete, may the file become readable by others.
    if (written && finalMode_ != kWritingMode && fchmod(fd_, mode_t(finalMode_)) != 0) {
        RecordSystemFailure();
        written = false;
    }
    bool renamed = false;
    if (close(std::exchange(fd_, -1)) != 0) {
        RecordSystemFailure();
    } else if (written) {
        renamed = rename(tempPath_.c_str(), targetPath_.c_str()) == 0;
        if (!renamed) {
            RecordSystemFailure();
        }
    }
    if (!renamed) {
        Discard();
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace qrimage
