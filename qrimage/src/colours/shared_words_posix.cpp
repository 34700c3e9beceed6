// The colour words in a memory object of the user, named after the library
// file, that lives exactly as long as some process has that file loaded.
//
// Every process that has the library loaded holds a shared flock on the
// object. Unloading (dlclose, or the end of the process), a process tries to
// take the lock exclusively without waiting: only when no other process
// holds it is this one the last, and then it removes the name. A process
// that dies without unloading loses its lock with its descriptors: a process
// that attaches while nobody holds the lock starts the words from the
// defaults, so colours left by a killed process are not taken for live ones,
// and every load removes the user's other objects that nobody holds (of
// killed processes, of library files since replaced).
//
// An attaching process takes its lock on the object it opened, then checks
// that the name still leads to that object, and starts over otherwise: the
// name may have been removed between its open and its lock. Removal happens
// only under the exclusive lock, which nobody can take while any process
// holds a shared one; so the object of a process that is attached is never
// removed, and no colour set by one is lost to the others.
//
// The names are predictable, and in /dev/shm anybody may take one first,
// with a file of their own or with a second name for a file of the user's;
// such a file is not even locked. Only what this code makes is used, written
// or removed: a regular file of the user with one name, mode 0600, the
// words' size. Its creator locks it exclusively the moment it makes it and
// only then gives it mode and size; so one that lacks them and that nobody
// holds was left half made by a creator that died (SIGKILL, the OOM killer)
// and the next process to load finishes it, or the sweep removes it. Left
// alone, it would keep every process of the user on process-local words.
#include <dirent.h>
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
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "colours/colour_object_name.h"
#include "colours/shared_words.h"
#include "descriptor_posix.h"

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
    return AboveStandardStreams(open(path, flags | O_CLOEXEC, mode));
}

void WaitAMillisecond() {
    const timespec millisecond{0, 1000000};
    nanosleep(&millisecond, nullptr);
}

// The folder every user may make objects in.
constexpr char kSharedFolder[] = "/dev/shm";

// The user's own folder for such objects when it is safe: $XDG_RUNTIME_DIR
// when it is an absolute path to a folder of the user that nobody else may
// enter, so that no other user can take the name first. Else /dev/shm,
// where only a file that passes ColourObject::Examine is used.
std::string ObjectFolder(uid_t user) {
    const char* runtime = secure_getenv("XDG_RUNTIME_DIR");
    struct stat folder {};
    if (runtime != nullptr && runtime[0] == '/' && stat(runtime, &folder) == 0 &&
        S_ISDIR(folder.st_mode) && folder.st_uid == user && (folder.st_mode & 0077) == 0 &&
        access(runtime, W_OK | X_OK) == 0) {
        return runtime;
    }
    return kSharedFolder;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool StillNamed(const std::string& path, const struct stat& object) {
    struct stat named {};
    return lstat(path.c_str(), &named) == 0 && SameFile(named, object);
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
            folder_ = ObjectFolder(user_);
            path_ = folder_ + ColourObjectName(user_, library);
            if (Attach()) {
                pthread_atfork([] { Instance().PrepareFork(); },
                               [] { Instance().AfterForkInParent(); },
                               [] { Instance().AfterForkInChild(); });
            }
            // Sessions may differ in their runtime folder: objects left in
            // /dev/shm by one without it go too.
            RemoveUnheldObjects(folder_);
            if (folder_ != kSharedFolder) {
                RemoveUnheldObjects(kSharedFolder);
            }
        } catch (const std::bad_alloc&) {
            // loading must not fail for it: the words stay process-local
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
        const Descriptor object(std::exchange(fd_, -1));  // a fork from now on prepares nothing
        RemoveIfUnheld(path_, object.Get());
    }

    ColourObject(const ColourObject&) = delete;
    ColourObject& operator=(const ColourObject&) = delete;

    static ColourObject& Instance();

  private:
    enum class Found { kUsable, kUnfinished, kForeign };

    // Whether a file found under an object's name is one of this user's
    // objects (see the top of this file). A second name is what a hard link
    // made by another user to a file of the user's has.
    Found Examine(const struct stat& file) const {
        // Larger than the words, or with rights beyond the owner's, it is no
        // object a creator left half made.
        if (!S_ISREG(file.st_mode) || file.st_uid != user_ || file.st_nlink != 1 ||
            file.st_size > kObjectBytes || (file.st_mode & 07777 & ~0600) != 0) {
            return Found::kForeign;
        }
        return (file.st_mode & 07777) == 0600 && file.st_size == kObjectBytes ? Found::kUsable
                                                                              : Found::kUnfinished;
    }

    // Opens the object, making it if the name is free. Returns its
    // descriptor, or -1; errno ENOENT: removed meanwhile, worth another try.
    int Open() const {
        Descriptor made(
            OpenAboveStandardStreams(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
        if (made.Get() < 0) {
            if (errno != EEXIST) {
                return -1;
            }
            // O_NONBLOCK: a pipe planted under the name must not hang the open.
            const int found =
                OpenAboveStandardStreams(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK);
            if (found < 0 && errno == EACCES && MadeWritableAgain()) {
                errno = ENOENT;  // worth another try
            }
            return found;
        }
        // Held while it is unfinished, so that nobody takes it for one left
        // by a creator that died. Another loader may have locked it in the
        // moment since it was made: then that one finishes it.
        if (flock(made.Get(), LOCK_EX | LOCK_NB) != 0 || Finish(made.Get())) {
            return made.Release();
        }
        // Unfinished and held, so nobody else uses it: the name is still this one's.
        unlink(path_.c_str());
        errno = ENOSPC;
        return -1;
    }

    // A creator that died before giving its object its mode, under a umask
    // that takes the owner's write right, leaves an object that cannot be
    // opened for writing. Such an object, when it is one of the user's, half
    // made, and nobody holds it, gets the owner's write right back. True when
    // it did.
    bool MadeWritableAgain() const {
        const Descriptor object(
            OpenAboveStandardStreams(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
        struct stat status {};
        const bool done = object.Get() >= 0 && fstat(object.Get(), &status) == 0 &&
                          Examine(status) == Found::kUnfinished &&
                          flock(object.Get(), LOCK_EX | LOCK_NB) == 0 &&
                          fchmod(object.Get(), 0600) == 0;
        errno = EACCES;
        return done;
    }

    // Gives the object at `fd`, held exclusively, its mode (the umask may
    // have narrowed it) and its size. The size comes last: with it the
    // object is usable. Memory reserved now cannot fail later: a store into
    // a mapping beyond what a full tmpfs can give would raise SIGBUS.
    static bool Finish(int fd) {
        struct stat status {};
        return fstat(fd, &status) == 0 &&
               ((status.st_mode & 07777) == 0600 || fchmod(fd, 0600) == 0) &&
               posix_fallocate(fd, 0, kObjectBytes) == 0;
    }

    static bool LockShared(int fd) {
        for (int waited = 0;; ++waited) {
            if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
                return true;
            }
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited == kLockWaitMilliseconds) {
                return false;
            }
            WaitAMillisecond();
        }
    }

    // Removes the object open at `fd` from `path` when no process holds it,
    // it is one of the user's objects, finished or half made, and `path`
    // still names it.
    void RemoveIfUnheld(const std::string& path, int fd) const {
        struct stat object {};
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &object) == 0 &&
            Examine(object) != Found::kForeign && StillNamed(path, object)) {
            unlink(path.c_str());
        }
    }

    bool Attach() {
        for (int attempt = 0; attempt < kAttachAttempts; ++attempt) {
            Descriptor object(Open());
            struct stat status {};
            if (object.Get() < 0) {
                if (errno == ENOENT) {
                    continue;
                }
                return false;
            }
            if (fstat(object.Get(), &status) != 0) {
                return false;
            }
            if (status.st_nlink == 0) {
                continue;  // swept by another loader before its maker locked it: start over
            }
            if (Examine(status) == Found::kForeign) {
                return false;  // somebody else's: not even locked
            }
            if (flock(object.Get(), LOCK_EX | LOCK_NB) == 0 && fstat(object.Get(), &status) == 0) {
                // Nobody has the library loaded: whatever the object holds
                // was left by a process that ended without unloading, half
                // made if it died making it. Zeros mean the defaults.
                static constexpr uint32_t kZeros[2] = {};
                if ((Examine(status) == Found::kUnfinished && !Finish(object.Get())) ||
                    pwrite(object.Get(), kZeros, kObjectBytes, 0) != kObjectBytes) {
                    return false;
                }
            }
            // Shared from here on (the first other attacher may go on), and
            // looked at again now that no creator or last one out is busy.
            if (!LockShared(object.Get()) || fstat(object.Get(), &status) != 0) {
                return false;
            }
            if (status.st_nlink == 0) {
                continue;  // removed by the last one out meanwhile: start over
            }
            const Found found = Examine(status);
            if (found == Found::kForeign) {
                return false;
            }
            if (found == Found::kUnfinished) {
                WaitAMillisecond();  // for its creator to finish it
                continue;
            }
            if (!StillNamed(path_, status)) {
                continue;  // removed by the last one out meanwhile: start over
            }
            void* words =
                mmap(nullptr, kObjectBytes, PROT_READ | PROT_WRITE, MAP_SHARED, object.Get(), 0);
            if (words == MAP_FAILED) {
                RemoveIfUnheld(path_, object.Get());
                return false;
            }
            fd_ = object.Release();
            object_ = status;
            words_ = static_cast<uint32_t*>(words);
            currentWords.store(words_);
            return true;
        }
        return false;
    }

    // Removes the user's other objects that no process holds: those left by
    // processes killed without unloading, and those of library files since
    // replaced, which nobody loads again. Cheap at load: one reading of the
    // folder, and only the user's own objects are opened.
    void RemoveUnheldObjects(const std::string& in) const {
        Descriptor folder(OpenAboveStandardStreams(in.c_str(), O_RDONLY | O_DIRECTORY));
        const std::unique_ptr<DIR, int (*)(DIR*)> listing(
            folder.Get() < 0 ? nullptr : fdopendir(folder.Get()), &closedir);
        if (!listing) {
            return;
        }
        folder.Release();  // closed with the listing
        const std::string prefix = ColourObjectPrefix(user_);
        while (const dirent* entry = readdir(listing.get())) {
            if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0 ||
                (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)) {
                continue;
            }
            const std::string path = in + "/" + entry->d_name;
            struct stat status {};
            if (path == path_ || lstat(path.c_str(), &status) != 0 ||
                Examine(status) == Found::kForeign) {
                continue;
            }
            // Not even locked if the name has changed hands meanwhile.
            const Descriptor object(
                OpenAboveStandardStreams(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
            struct stat opened {};
            if (object.Get() >= 0 && fstat(object.Get(), &opened) == 0 &&
                SameFile(opened, status)) {
                RemoveIfUnheld(path, object.Get());
            }
        }
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
    std::string folder_;
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
