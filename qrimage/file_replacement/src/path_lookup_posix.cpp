#include "path_lookup_posix.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "failed_posix.h"

namespace qrimage {

namespace {

// The kernel's own limit on symbolic links followed in one lookup.
constexpr int kMaxLinkHops = 40;

// Opens the folder `name` in `at` for looking names up in it (O_PATH: no right
// to read it is needed), never following a link. -1 with errno set.
Descriptor OpenFolder(int at, const char* name) {
    return Descriptor(
        AboveStandardStreams(openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)));
}

// Opens the folder `path` in one system call when no link is on its way.
// -1 with errno set; ELOOP for a link (or a loop), ENOSYS where the kernel
// has no openat2 (before Linux 5.6).
Descriptor OpenFolderWithoutLinks(const char* path) {
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    return Descriptor(
        AboveStandardStreams(int(syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how))));
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

// Whether a link (its lstat in `link`) in `folder` may be followed: see
// Locate. False with errno set (EACCES for a refused link).
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

// Locate one name at a time, following links by hand.
std::optional<Place> Walk(std::string rest, bool followLastLink) {
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
            return Place{std::move(folder), std::move(name), true, true, status};
        }
        Descriptor next = OpenFolder(folder.Get(), name.c_str());
        if (next.Get() < 0) {
            return FailedBySystem();
        }
        folder = std::move(next);
    }
}

}  // namespace

std::optional<Place> Locate(const std::string& path, bool followLastLink, bool lookAtName) {
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        return FailedWith(EISDIR);  // a trailing slash names a folder
    }
    const std::string folderPart = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : path.substr(0, slash);
    Descriptor folder = OpenFolderWithoutLinks(folderPart.c_str());
    if (folder.Get() < 0) {
        // A link on the way (or no openat2, or a path longer than the
        // kernel takes in one call, which a name at a time still reaches):
        // the walk applies the rule.
        const bool walk =
            errno == ELOOP || errno == ENOSYS || errno == EPERM || errno == ENAMETOOLONG;
        return walk ? Walk(path, followLastLink) : FailedBySystem();
    }
    Place place{std::move(folder), std::move(name), false};
    if (lookAtName && !LookAt(place, path, followLastLink)) {
        return std::nullopt;
    }
    return place;
}

bool LookAt(Place& place, const std::string& path, bool followLastLink) {
    place.looked = true;
    place.exists =
        fstatat(place.folder.Get(), place.name.c_str(), &place.status, AT_SYMLINK_NOFOLLOW) == 0;
    if (!place.exists && errno != ENOENT) {
        RecordSystemFailure();
        return false;
    }
    if (place.exists && followLastLink && S_ISLNK(place.status.st_mode)) {
        std::optional<Place> followed = Walk(path, followLastLink);  // judged where it lies
        if (!followed) {
            return false;
        }
        place = std::move(*followed);
    }
    return true;
}

}  // namespace qrimage
