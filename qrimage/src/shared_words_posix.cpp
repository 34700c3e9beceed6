// The colour words in a memory object of the user, named after the library
// file, that lives exactly as long as some process has that file loaded.
//
// Every process that has the library loaded holds a shared flock on the
// object. Unloading (dlclose, or the end of the process), a process tries to
// take the lock exclusively without waiting: only when no other process
// holds it is this one the last, and then it removes the name. A process
// that dies without unloading loses its lock with its descriptors, so the
// next last one out removes the object all the same; and a process that
// attaches while nobody holds the lock starts the words from the defaults,
// so colours left by a killed process are not taken for live ones.
//
// An attaching process takes its lock on the object it opened, then checks
// that the name still leads to that object, and starts over otherwise: the
// name may have been removed between its open and its lock. Removal happens
// only under the exclusive lock, which nobody can take while any process
// holds a shared one; so the object of a process that is attached is never
// removed, and no colour set by one is lost to the others.
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>

#include "colour_object_name.h"
#include "shared_words.h"

namespace qrimage {
namespace {

constexpr off_t kObjectBytes = sizeof(uint32_t) * 2;
constexpr int kAttachAttempts = 100;
// The exclusive lock is held only for a few system calls; a process stopped
// in the middle of them must not hang everyone who loads the library.
constexpr int kLockWaitMilliseconds = 2000;

// Used when the shared object cannot be had. Zero-initialised static storage:
// usable before and after the object is attached.
alignas(std::atomic_ref<uint32_t>::required_alignment) uint32_t processLocalWords[2];
std::atomic<uint32_t*> currentWords{processLocalWords};

class KeepErrno {
  public:
    KeepErrno() : saved_(errno) {}
    ~KeepErrno() { errno = saved_; }
    KeepErrno(const KeepErrno&) = delete;
    KeepErrno& operator=(const KeepErrno&) = delete;

  private:
    int saved_;
};

// open(2), close-on-exec, never on descriptors 0-2: a program may run with
// its standard streams closed, and a descriptor of ours there would receive
// its output and error messages, or be read as its input.
int OpenAboveStandardStreams(const char* path, int flags, mode_t mode = 0) {
    const int fd = open(path, flags | O_CLOEXEC, mode);
    if (fd < 0 || fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const KeepErrno keep;
    close(fd);
    return moved;
}

// The user's own folder for such objects when it is safe: $XDG_RUNTIME_DIR
// when it is an absolute path to a folder of the user that nobody else may
// enter, so that no other user can take the name first. Else /dev/shm,
// where the owner check below turns away an object somebody else made.
std::string ObjectFolder(uid_t user) {
    const char* runtime = secure_getenv("XDG_RUNTIME_DIR");
    struct stat folder {};
    if (runtime != nullptr && runtime[0] == '/' && stat(runtime, &folder) == 0 &&
        S_ISDIR(folder.st_mode) && folder.st_uid == user && (folder.st_mode & 0077) == 0 &&
        access(runtime, W_OK | X_OK) == 0) {
        return runtime;
    }
    return "/dev/shm";
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

class ColourObject {
  public:
    // At load: the library file's identity is taken now, while a relative
    // path it was loaded by still leads to it.
    ColourObject() {
        const KeepErrno keep;
        Dl_info info{};
        struct stat library {};
        if (dladdr(reinterpret_cast<void*>(&ColourWords), &info) == 0 ||
            info.dli_fname == nullptr || stat(info.dli_fname, &library) != 0) {
            return;
        }
        user_ = geteuid();
        try {
            path_ = ObjectFolder(user_) + ColourObjectName(user_, library);
        } catch (const std::bad_alloc&) {
            return;  // loading must not fail for it: the words stay process-local
        }
        if (Attach()) {
            pthread_atfork([] { Instance().PrepareFork(); }, [] { Instance().AfterForkInParent(); },
                           [] { Instance().AfterForkInChild(); });
        }
    }

    // At unload: the values stay readable in process-local words for any
    // late caller, and the last process out removes the object.
    ~ColourObject() {
        if (fd_ < 0) {
            return;
        }
        const KeepErrno keep;
        processLocalWords[0] = std::atomic_ref<uint32_t>(words_[0]).load();
        processLocalWords[1] = std::atomic_ref<uint32_t>(words_[1]).load();
        currentWords.store(processLocalWords);
        munmap(words_, kObjectBytes);
        Leave(std::exchange(fd_, -1));  // a fork from now on prepares nothing
    }

    ColourObject(const ColourObject&) = delete;
    ColourObject& operator=(const ColourObject&) = delete;

    static ColourObject& Instance();

  private:
    // Opens (creating if needed) the object, if it is a regular file of the
    // user's alone; returns its descriptor and status, or -1.
    int Open(struct stat& status) const {
        // O_NONBLOCK: a pipe planted under the name must not hang the open.
        const int fd = OpenAboveStandardStreams(path_.c_str(),
                                                O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0) {
            return -1;
        }
        // The umask may have narrowed the mode of a new object.
        if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != user_ ||
            ((status.st_mode & 0777) != 0600 && fchmod(fd, 0600) != 0)) {
            close(fd);
            return -1;
        }
        return fd;
    }

    bool StillNamed(const struct stat& object) const {
        struct stat named {};
        return stat(path_.c_str(), &named) == 0 && SameFile(named, object);
    }

    static bool LockShared(int fd) {
        for (int waited = 0;; ++waited) {
            if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
                return true;
            }
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited == kLockWaitMilliseconds) {
                return false;
            }
            const timespec millisecond{0, 1000000};
            nanosleep(&millisecond, nullptr);
        }
    }

    // Gives up this process's hold on the object; removes it when nobody
    // else holds it.
    void Leave(int fd) const {
        struct stat object {};
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &object) == 0 && StillNamed(object)) {
            unlink(path_.c_str());
        }
        close(fd);
    }

    bool Attach() {
        for (int attempt = 0; attempt < kAttachAttempts; ++attempt) {
            struct stat object {};
            const int fd = Open(object);
            if (fd < 0) {
                return false;
            }
            bool held = false;
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                // Nobody has the library loaded: whatever the object holds
                // was left by a process that ended without unloading.
                // Zero-filled pages mean the defaults.
                held = ftruncate(fd, 0) == 0 && posix_fallocate(fd, 0, kObjectBytes) == 0 &&
                       LockShared(fd);  // the first other attacher may go on
            } else {
                held = LockShared(fd);
            }
            if (held && !StillNamed(object)) {
                close(fd);  // removed by the last one out meanwhile: start over
                continue;
            }
            // Memory reserved now cannot fail later: a store into a mapping
            // beyond what a full tmpfs can give would raise SIGBUS.
            void* words =
                held && posix_fallocate(fd, 0, kObjectBytes) == 0
                    ? mmap(nullptr, kObjectBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                    : MAP_FAILED;
            if (words == MAP_FAILED) {
                Leave(fd);
                return false;
            }
            fd_ = fd;
            object_ = object;
            words_ = static_cast<uint32_t*>(words);
            currentWords.store(words_);
            return true;
        }
        return false;
    }

    // A forked child shares the parent's open file, and with it the lock,
    // so the parent unloading could take the object away from under it. So
    // before each fork the parent opens the object anew and locks it: the
    // child keeps that lock as its own, the parent lets go of its copy. The
    // lock exists before fork returns in the parent, whoever runs first.
    void PrepareFork() {
        if (fd_ < 0) {
            return;
        }
        const KeepErrno keep;
        struct stat object {};
        forkFd = OpenAboveStandardStreams(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK);
        if (forkFd >= 0 && (fstat(forkFd, &object) != 0 || !SameFile(object, object_) ||
                            flock(forkFd, LOCK_SH | LOCK_NB) != 0)) {
            close(std::exchange(forkFd, -1));
        }
    }
    void AfterForkInParent() {
        if (forkFd >= 0) {
            const KeepErrno keep;
            close(std::exchange(forkFd, -1));
        }
    }
    // Only async-signal-safe calls here.
    void AfterForkInChild() {
        if (forkFd >= 0) {
            const KeepErrno keep;
            close(std::exchange(fd_, std::exchange(forkFd, -1)));
        }
    }

    // The descriptor prepared for the child of the fork this thread makes.
#if defined(__ELF__)
    [[gnu::tls_model("initial-exec")]]
#endif
    static thread_local int forkFd;

    uid_t user_ = 0;
    std::string path_;
    int fd_ = -1;
    struct stat object_ {};
    uint32_t* words_ = nullptr;
};

thread_local int ColourObject::forkFd = -1;

ColourObject& ColourObject::Instance() {
    static ColourObject object;
    return object;
}

// Attached when the library is loaded, detached when it is unloaded.
[[maybe_unused]] const ColourObject& attachedAtLoad = ColourObject::Instance();

}  // namespace

uint32_t* ColourWords() noexcept {
    return currentWords.load(std::memory_order_acquire);
}

}  // namespace qrimage
