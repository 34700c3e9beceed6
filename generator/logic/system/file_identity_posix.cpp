#include "file_identity.h"

#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>

FileIdentity IdentityOf(const std::string& path) {
    const int savedErrno = errno;
    struct stat status {};
    const bool found = ::stat(path.c_str(), &status) == 0;
    errno = savedErrno;
    if (!found) {
        return {};
    }
    constexpr int64_t kNsPerSecond = 1'000'000'000;
    return FileIdentity{
        .exists = true,
        .device = static_cast<uint64_t>(status.st_dev),
        .inode = static_cast<uint64_t>(status.st_ino),
        .size = static_cast<int64_t>(status.st_size),
        .modifiedNs = status.st_mtim.tv_sec * kNsPerSecond + status.st_mtim.tv_nsec,
        .changedNs = status.st_ctim.tv_sec * kNsPerSecond + status.st_ctim.tv_nsec,
    };
}

std::string RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? "" : std::strerror(errno);
}
