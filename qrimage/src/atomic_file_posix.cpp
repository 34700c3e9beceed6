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

#include "descriptor_posix.h"
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

// Opens the folder `name` in `at` for looking names up in it (O_PATH: no right
// to read it is needed), never following a link. -1 with errno set.
Descriptor OpenFolder(int at, const char* name) {
    return Descriptor(
        AboveStandardStreams(openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)));
}

std::optional<std::string> ReadLink(int folder, const std::string& name, off_t sizeHint) {
    // Some file systems report 0 as the size of a link: grow until it fits.
    std::string target(std::size_t(sizeHint > 0 ? sizeHint : 64) + 1, '\0');
    for (;;) {
        const ssize_t length = readlinkat(folder, name.c_str(), target.data(), target.size());
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

// Whether a link (its lstat in `link`) in `folder` may be followed. Not when
// the folder is sticky and world-writable (/tmp, say) and the link belongs
// neither to the caller nor to the folder's owner: another user may have
// planted it there, so that the caller replaces a file of their own or
// creates one where the planter chose. The kernel refuses exactly this to
// open(2) when fs.protected_symlinks is set; the links are followed here, not
// by the kernel, so the rule is applied here, whatever that setting. False
// with errno set (EACCES for a refused link).
bool MayFollow(int folder, const struct stat& link) {
    if (link.st_uid == geteuid()) {
        return true;
    }
    struct stat status {};
    if (fstat(folder, &status) != 0) {
        return false;
    }
    constexpr mode_t kShared = S_ISVTX | S_IWOTH;
    if ((status.st_mode & kShared) != kShared || link.st_uid == status.st_uid) {
        return true;
    }
    errno = EACCES;
    return false;
}

// Where a path leads: its last folder, held open, and the name in it.
struct Place {
    Descriptor folder;
    std::string name;
};

// Looks `path` up as the kernel would, one name at a time, each in a folder
// held open, so that nobody can swap a folder for a link between a check and
// its use. Links in the folder part, and at the end when `followLastLink`,
// are followed where MayFollow allows; a dangling link at the end leads to
// the name it points to. The name found may exist or not. Nullopt, with the reason recorded,
// when the path cannot be looked up (a missing folder, a link loop, a
// refused link) or names a folder by a trailing slash (EISDIR).
std::optional<Place> Locate(std::string rest, bool followLastLink) {
    Descriptor folder = OpenFolder(AT_FDCWD, rest.starts_with('/') ? "/" : ".");
    if (folder.Get() < 0) {
        return FailedBySystem();
    }
    for (int hops = 0;;) {
        const std::size_t start = rest.find_first_not_of('/');
        if (start == std::string::npos) {
            return FailedWith(EISDIR);  // what open(2) says for a folder's name
        }
        const std::size_t end = rest.find('/', start);
        std::string name = rest.substr(start, end - start);
        rest.erase(0, end == std::string::npos ? rest.size() : end);
        const bool last = rest.find_first_not_of('/') == std::string::npos;
        if (last && !rest.empty()) {
            return FailedWith(EISDIR);
        }
        struct stat status {};
        if (fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT && last) {
                return Place{std::move(folder), std::move(name)};  // a new file
            }
            return FailedBySystem();
        }
        if (S_ISLNK(status.st_mode) && (followLastLink || !last)) {
            if (++hops > kMaxLinkHops) {
                return FailedWith(ELOOP);
            }
            if (!MayFollow(folder.Get(), status)) {
                return FailedBySystem();
            }
            std::optional<std::string> target = ReadLink(folder.Get(), name, status.st_size);
            if (!target) {
                return std::nullopt;
            }
            if (target->empty()) {
                return FailedWith(ENOENT);
            }
            if (target->starts_with('/')) {
                folder = OpenFolder(AT_FDCWD, "/");
                if (folder.Get() < 0) {
                    return FailedBySystem();
                }
            }
            rest.insert(0, *target);
            continue;
        }
        if (last) {
            return Place{std::move(folder), std::move(name)};
        }
        Descriptor next = OpenFolder(folder.Get(), name.c_str());
        if (next.Get() < 0) {
            return FailedBySystem();
        }
        folder = std::move(next);
    }
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
// the umask, as open(2) applies it), and sets `tempName` to its name there.
// Returns the descriptor, or -1 with errno set.
int CreateTempFile(int folder, std::string& tempName) {
    for (int attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
        tempName = ".qrimage-" + RandomSuffix(attempt) + ".tmp";
        const int fd =
            openat(folder, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kWritingMode);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        const int moved = AboveStandardStreams(fd);
        if (fd >= 0 && moved < 0) {
            const int error = errno;
            unlinkat(folder, tempName.c_str(), 0);
            errno = error;
        }
        return moved;
    }
    return -1;  // errno: EEXIST
}

}  // namespace

std::optional<AtomicFile> AtomicFile::Open(const std::string& path, std::size_t bufferBytes,
                                           Ownership ownership) {
    if (path.empty()) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    const bool keepTarget = ownership == Ownership::KeepTarget;
    std::optional<Place> place = Locate(path, keepTarget);
    if (!place) {
        return std::nullopt;
    }
    const int folder = place->folder.Get();
    const char* name = place->name.c_str();

    struct stat existing {};
    const bool replacing = fstatat(folder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (replacing) {
        // The caller's right to write the target is what the target's own
        // permissions say, although the rename needs only the folder's.
        if (S_ISDIR(existing.st_mode)) {
            return FailedWith(EISDIR);
        }
        if (!S_ISREG(existing.st_mode) && (keepTarget || !S_ISLNK(existing.st_mode))) {
            RecordFailure(Failure::InvalidArgument);  // a device, pipe or socket
            return std::nullopt;
        }
        if (keepTarget && faccessat(folder, name, W_OK, AT_EACCESS) != 0) {
            return FailedBySystem();
        }
    } else if (errno != ENOENT) {
        return FailedBySystem();
    }

    // From its creation on, the temporary file belongs to `file`: whatever
    // fails or throws later (the buffer's allocation) leaves through its
    // destructor, which removes it. Before, only moves happen.
    std::string tempName;
    const int fd = CreateTempFile(folder, tempName);
    if (fd < 0) {
        return FailedBySystem();
    }
    AtomicFile file(fd, std::move(tempName), std::move(place->name), bufferBytes);
    file.folderFd_ = place->folder.Release();
    if (keepTarget && replacing) {
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
        if (!keepTarget) {
            file.finalMode_ &= ~uint32_t(S_IWGRP | S_IWOTH);  // nobody else may change it
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
        unlinkat(folderFd_, tempPath_.c_str(), 0);
        tempPath_.clear();
    }
    if (folderFd_ >= 0) {
        close(folderFd_);
        folderFd_ = -1;
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
        renamed = renameat(folderFd_, tempPath_.c_str(), folderFd_, targetPath_.c_str()) == 0;
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
