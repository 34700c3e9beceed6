#include "library_copy.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "../../src/colour_object_name.h"

namespace qrtest {
namespace {

std::string MakeTemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qrimage-library-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder from " + pattern);
    }
    return buffer.data();
}

}  // namespace

LibraryCopy::LibraryCopy() : folder_(MakeTemporaryFolder()) {
    path_ = folder_ + "/" + std::filesystem::path(QRIMAGE_LIBRARY_FILE).filename().string();
    std::filesystem::copy_file(QRIMAGE_LIBRARY_FILE, path_);
    struct stat identity {};
    if (stat(path_.c_str(), &identity) != 0) {
        std::filesystem::remove_all(folder_);
        throw std::runtime_error("cannot stat " + path_);
    }
    colourObject_ = qrimage::ColourObjectName(geteuid(), identity);
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const std::string error = dlerror();
        std::filesystem::remove_all(folder_);
        throw std::runtime_error("cannot load " + path_ + ": " + error);
    }
}

LibraryCopy::~LibraryCopy() {
    dlclose(handle_);
    shm_unlink(colourObject_.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void* LibraryCopy::Find(const char* name) const {
    void* address = dlsym(handle_, name);
    if (address == nullptr) {
        throw std::runtime_error(std::string("the library has no export ") + name);
    }
    return address;
}

}  // namespace qrtest
