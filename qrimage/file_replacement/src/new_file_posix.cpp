#include "new_file_posix.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <thread>

#include "descriptor_posix.h"

namespace qrimage {

bool UnnamedFilesCanBeNamed() noexcept {
    static const bool canBeNamed = [] {
        struct statfs fileSystem {};
        return statfs("/proc/self/fd", &fileSystem) == 0 && fileSystem.f_type == PROC_SUPER_MAGIC;
    }();
    return canBeNamed;
}

int NameUnnamedFile(int fd, int folder, const char* name) noexcept {
    // linkat with AT_EMPTY_PATH needs a privilege most callers lack; the
    // descriptor's link in /proc names the same file for anyone.
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return linkat(AT_FDCWD, self, folder, name, AT_SYMLINK_FOLLOW);
}

mode_t NewFileMode(int folder, mode_t requested) noexcept {
    const int probe =
        AboveStandardStreams(openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, requested));
    if (probe >= 0) {
        struct stat status {};
        const bool known = fstat(probe, &status) == 0;
        close(probe);
        if (known) {
            return status.st_mode & 07777;
        }
    }
    return requested & ~ProcessUmask();
}

mode_t ProcessUmask() noexcept {
    static const mode_t mask = [] {
        mode_t learnt = 0177;
        try {
            std::thread([&learnt] {
                if (unshare(CLONE_FS) == 0) {
                    learnt = umask(0) & 0777;  // this thread's copy only
                }
            }).join();
        } catch (const std::exception&) {  // no thread to be had: stay narrow
        }
        return learnt;
    }();
    return mask;
}

}  // namespace qrimage
