// The colour words on POSIX systems: a shared-memory object of the user,
// named from the library file's identity.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "call_guard.h"
#include "colour_object_name.h"
#include "colour_words.h"

namespace qrimage {
namespace {

constexpr off_t kObjectBytes = kColourWordCount * sizeof(uint32_t);

// Used when the shared object cannot be had. Zero-initialised static storage:
// nothing runs at load time.
alignas(std::atomic_ref<uint32_t>::required_alignment) uint32_t processLocalWords[kColourWordCount];

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

// Creates the object, or opens it when another process was first. Creation
// with O_EXCL tells the two cases apart without a race; either way the size
// is only ever raised to kObjectBytes, so concurrent openers agree.
int OpenColourObject(const std::string& name) {
    const int created = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (created >= 0 || errno != EEXIST) {
        return created;
    }
    return shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
}

// Maps the shared words of this user and this library file, or returns null.
uint32_t* AttachSharedWords() noexcept {
    return CallGuarded<uint32_t*>(nullptr, []() -> uint32_t* {
        // The library file that holds this very function.
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&AttachSharedWords), &info) == 0 ||
            info.dli_fname == nullptr) {
            return nullptr;
        }
        struct stat library {};
        if (stat(info.dli_fname, &library) != 0) {
            return nullptr;
        }
        const uid_t user = geteuid();
        const FileDescriptor object(OpenColourObject(ColourObjectName(user, library)));
        if (object.get() < 0) {
            return nullptr;
        }
        // Somebody else may have created the name first; their object must
        // not carry our colours.
        struct stat status {};
        if (fstat(object.get(), &status) != 0 || status.st_uid != user) {
            return nullptr;
        }
        if ((status.st_mode & 0077) != 0 && fchmod(object.get(), 0600) != 0) {
            return nullptr;
        }
        if (status.st_size < kObjectBytes && ftruncate(object.get(), kObjectBytes) != 0) {
            return nullptr;
        }
        void* words =
            mmap(nullptr, kObjectBytes, PROT_READ | PROT_WRITE, MAP_SHARED, object.get(), 0);
        if (words == MAP_FAILED) {
            return nullptr;
        }
        return static_cast<uint32_t*>(words);
    });
}

// Attached on first use, once per process; the mapping stays for the life
// of the process.
}  // namespace

uint32_t* ColourWords() noexcept {
    static uint32_t* const words = [] {
        uint32_t* shared = AttachSharedWords();
        return shared != nullptr ? shared : processLocalWords;
    }();
    return words;
}

}  // namespace qrimage
