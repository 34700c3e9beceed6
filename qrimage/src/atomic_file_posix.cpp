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

// Follows symbolic links in the last component of `path` until it names
// something that is not a link, or nothing. Returns nullopt for a link loop
// or a path that cannot be examined. Links in the folder part need no help:
// the kernel follows them when the temporary file is created.
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

// Creates a new, empty temporary file in `folder`. Mode 0666 lets the kernel
// apply the umask (and any default ACL) exactly as for a plain new file, with
// no racy umask() read-and-restore. Returns the descriptor, or -1 with errno
// set.
int CreateTempFile(const std::string& folder, std::string& tempPath) {
    for (int attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
        tempPath = folder + "/.qrimage-" + RandomSuffix(attempt) + ".tmp";
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
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
        // Owner first: changing it clears set-id bits that the mode restores.
        // Only a privileged caller can give the file back to another owner;
        // anyone else keeps the group at least when they belong to it, and
        // otherwise their own ownership, as any rewrite would.
        if ((existing.st_uid != geteuid() || existing.st_gid != getegid()) &&
            fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            (void)fchown(fd, uid_t(-1), existing.st_gid);
        }
        if (fchmod(fd, existing.st_mode & 07777) != 0) {
            return FailedBySystem();
        }
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
    const bool written = !failed_ && FlushBuffer();
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
