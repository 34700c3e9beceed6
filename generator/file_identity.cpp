#include "file_identity.h"

#include <QFile>

#include <sys/stat.h>

FileIdentity IdentityOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
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
