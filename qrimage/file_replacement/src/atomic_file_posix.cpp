// AtomicFile on POSIX systems.
//
// Where the file system can make a file without a name (Linux's O_TMPFILE)
// and the process's /proc is the kernel's, the file has no name at all while
// it is written: a new target gets its name in one step once the content
// and mode are final, so that not even a process killed outright (SIGKILL)
// leaves anything; an existing target is replaced through a temporary name
// that exists only from that moment to the rename. Elsewhere (and on
// Windows) the file is written under a temporary name in the target's
// folder and renamed over the target.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <new>
#include <utility>

#include "descriptor_posix.h"
#include "failed_posix.h"
#include "file_replacement.h"
#include "new_file_posix.h"
#include "path_lookup_posix.h"

namespace qrimage {

namespace {

constexpr int kMaxTempNameTries = 100;

// The longest temporary name, with its terminating NUL.
constexpr std::size_t kTempNameBytes = 32;

// Writes a temporary name into `name`: random enough that concurrent writers
// (threads or processes) into one folder do not collide; O_EXCL (or
// linkat's refusal) settles the rare collision anyway. Allocates nothing, so
// that Commit can name a file.
void MakeTempName(int attempt, char (&name)[kTempNameBytes]) noexcept {
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != sizeof bits) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        bits = uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 30) ^ (uint64_t(getpid()) << 40) ^
               uint64_t(reinterpret_cast<uintptr_t>(&now)) ^ uint64_t(attempt);
    }
    std::snprintf(name, sizeof name, ".qrimage-%016llx.tmp", static_cast<unsigned long long>(bits));
}

// The mode of a named temporary file while it is written: the caller's
// alone, so that nobody else can open it and read it, whole or in part,
// before it replaces the target.
constexpr mode_t kWritingMode = 0600;

// Creates a new, empty temporary file in `folder`, mode kWritingMode (less
// the umask, as open(2) applies it), and sets `tempName` to its name there.
// Returns the descriptor, or -1 with errno set.
int CreateTempFile(int folder, std::string& tempName) {
    for (int attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
        char name[kTempNameBytes];
        MakeTempName(attempt, name);
        tempName = name;
        const int fd = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kWritingMode);
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

// Creates a file without a name in `folder` with `mode` (less the umask,
// which the kernel applies as open(2) does), readable too, so that its
// content can be copied elsewhere. -1 with errno set; EOPNOTSUPP (or EISDIR
// from kernels before 3.11) where the file system cannot, or where such a
// file could not be named.
int CreateUnnamedFile(int folder, mode_t mode) {
    if (!UnnamedFilesCanBeNamed()) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return AboveStandardStreams(openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
}

bool CannotBeUnnamed(int error) {
    return error == EOPNOTSUPP || error == EISDIR;
}

// Whether the existing target `name` in `folder` (its lstat in `existing`)
// may be replaced as `keepTarget` asks. False with the reason recorded.
bool MayReplace(int folder, const char* name, const struct stat& existing, bool keepTarget) {
    if (S_ISDIR(existing.st_mode)) {
        FailedWith(EISDIR);
        return false;
    }
    if (!S_ISREG(existing.st_mode) && (keepTarget || !S_ISLNK(existing.st_mode))) {
        RecordFailure(Failure::InvalidArgument);  // a device, pipe or socket
        return false;
    }
    // The caller's right to write the target is what the target's own
    // permissions say, although the rename needs only the folder's.
    if (keepTarget && faccessat(folder, name, W_OK, AT_EACCESS) != 0) {
        FailedBySystem();
        return false;
    }
    return true;
}

// Gives the new file `fd` the owner and group of the file it replaces as far
// as the caller may. Only a privileged caller can give the file to another
// owner; anyone else keeps the group at least when they belong to it, and
// otherwise their own ownership, as any rewrite would. Changing the owner
// clears set-id bits, which the final mode, given in Commit, restores.
void TakeOwnershipOf(int fd, const struct stat& existing) {
    if ((existing.st_uid != geteuid() || existing.st_gid != getegid()) &&
        fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        (void)fchown(fd, uid_t(-1), existing.st_gid);
    }
}

}  // namespace

std::optional<AtomicFile> AtomicFile::Open(const std::string& path, std::size_t bufferBytes,
                                           Ownership ownership) {
    return OpenPosix(path, bufferBytes, ownership, false);
}

std::optional<AtomicFile> AtomicFile::OpenPosix(const std::string& path, std::size_t bufferBytes,
                                                Ownership ownership, bool lookFirst) {
    if (path.empty()) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    const bool keepTarget = ownership == Ownership::KeepTarget;
    // A new file's mode as open(2) with 0666 would give it; a file the
    // caller alone trusts afterwards keeps write to themselves.
    const mode_t newMode = keepTarget ? 0666 : 0644;
    std::optional<Place> place = Locate(path, keepTarget, lookFirst);
    if (!place) {
        return std::nullopt;
    }
    // A name not looked at yet is taken for a new one: Commit finds out.
    int fd = place->looked ? -1 : CreateUnnamedFile(place->folder.Get(), newMode);
    if (fd < 0 && !place->looked && !CannotBeUnnamed(errno)) {
        return FailedBySystem();
    }
    if (fd < 0 && !place->looked && !LookAt(*place, path, keepTarget)) {
        return std::nullopt;
    }
    if (place->exists &&
        !MayReplace(place->folder.Get(), place->name.c_str(), place->status, keepTarget)) {
        return std::nullopt;
    }
    const int folder = place->folder.Get();
    const bool keepMode = keepTarget && place->exists;
    // From its creation on, the file belongs to `file`: whatever fails or
    // throws later (the buffer's allocation) leaves through its destructor,
    // which removes a named one. Before, only moves happen.
    std::string tempName;
    if (fd < 0) {
        fd = CreateUnnamedFile(folder, keepMode ? kWritingMode : newMode);
    }
    const bool unnamed = fd >= 0;
    if (!unnamed && CannotBeUnnamed(errno)) {
        fd = CreateTempFile(folder, tempName);
    }
    if (fd < 0) {
        return FailedBySystem();
    }
    if (unnamed) {
        tempName.reserve(kTempNameBytes);  // Commit may need a name, and must not allocate
    }
    AtomicFile file(fd, std::move(tempName), std::move(place->name), bufferBytes);
    file.folderFd_ = place->folder.Release();
    file.unnamed_ = unnamed;
    file.replacing_ = place->exists;
    file.keepTarget_ = keepTarget;
    file.path_ = path;
    if (keepMode) {
        TakeOwnershipOf(fd, place->status);
        file.finalMode_ = place->status.st_mode & 07777;
        file.setFinalMode_ = true;
    } else if (!unnamed) {
        file.finalMode_ = NewFileMode(folder, newMode);
        file.setFinalMode_ = true;
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

// Names the complete unnamed file: a new target in one step (`asTarget`);
// else (the target exists, or came to exist since Open) under a temporary
// name that is then renamed over the target.
bool AtomicFile::CommitUnnamed(bool& asTarget) noexcept {
    if (!replacing_) {
        asTarget = NameUnnamedFile(fd_, folderFd_, targetPath_.c_str()) == 0;
        if (asTarget) {
            return true;
        }
        if (errno != EEXIST) {
            RecordSystemFailure();
            return false;
        }
        return ReplaceFoundTarget();
    }
    for (int attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
        char name[kTempNameBytes];
        MakeTempName(attempt, name);
        if (NameUnnamedFile(fd_, folderFd_, name) == 0) {
            tempPath_ = name;  // its room was reserved in Open
            return RenameOverTarget();
        }
        if (errno != EEXIST) {
            break;
        }
    }
    tempPath_.clear();
    RecordSystemFailure();
    return false;
}

// The target's name turned out to be taken: it is judged as Open judges a
// target it finds, and then replaced (or, for a link to follow, the file it
// leads to).
bool AtomicFile::ReplaceFoundTarget() noexcept {
    struct stat existing {};
    if (fstatat(folderFd_, targetPath_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        RecordSystemFailure();
        return false;
    }
    if (keepTarget_ && S_ISLNK(existing.st_mode)) {
        return CopyThroughLink();
    }
    if (!MayReplace(folderFd_, targetPath_.c_str(), existing, keepTarget_)) {
        return false;
    }
    if (keepTarget_) {
        TakeOwnershipOf(fd_, existing);
        if (fchmod(fd_, existing.st_mode & 07777) != 0) {
            RecordSystemFailure();
            return false;
        }
    }
    replacing_ = true;
    bool unused = false;
    return CommitUnnamed(unused);
}

// The target is a link that leads elsewhere, perhaps to another file
// system: the content goes there through a writer that looks first.
bool AtomicFile::CopyThroughLink() noexcept {
    try {
        std::optional<AtomicFile> through = OpenPosix(path_, 0, Ownership::KeepTarget, true);
        if (!through) {
            return false;
        }
        char piece[1 << 16];
        off_t at = 0;
        ssize_t got = 0;
        while ((got = pread(fd_, piece, sizeof piece, at)) > 0) {
            if (!through->Write(piece, std::size_t(got))) {
                return false;
            }
            at += got;
        }
        if (got < 0) {
            RecordSystemFailure();
            return false;
        }
        return through->Commit();
    } catch (const std::bad_alloc&) {
        RecordFailure(Failure::OutOfMemory);
        return false;
    }
}

bool AtomicFile::RenameOverTarget() noexcept {
    if (renameat(folderFd_, tempPath_.c_str(), folderFd_, targetPath_.c_str()) != 0) {
        RecordSystemFailure();
        return false;
    }
    tempPath_.clear();
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
    bool done = !failed_ && FlushBuffer();
    // Only now, complete, may the file become readable by others.
    if (done && setFinalMode_ && fchmod(fd_, mode_t(finalMode_)) != 0) {
        RecordSystemFailure();
        done = false;
    }
    // An unnamed file is named through its descriptor, so before the close.
    bool asTarget = false;
    done = done && (!unnamed_ || CommitUnnamed(asTarget));
    if (close(std::exchange(fd_, -1)) != 0) {
        RecordSystemFailure();
        if (done && asTarget) {
            unlinkat(folderFd_, targetPath_.c_str(), 0);  // the new name goes again
        }
        done = false;
    } else if (done && !unnamed_) {
        done = RenameOverTarget();
    }
    if (!done) {
        Discard();
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace qrimage
