#include "library_copy.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "../../src/colour_object_name.h"

namespace qrtest {

LibraryCopy::LibraryCopy() {
    std::string pattern = std::filesystem::temp_directory_path() / "qrimage-library-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a folder from " + pattern);
    }
    folder_ = pattern;
    path_ = folder_ + "/" + std::filesystem::path(QRIMAGE_LIBRARY_FILE).filename().string();
    std::filesystem::copy_file(QRIMAGE_LIBRARY_FILE, path_);
    struct stat identity {};
    handle_ = stat(path_.c_str(), &identity) == 0 ? dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL)
                                                  : nullptr;
    if (handle_ == nullptr) {
        std::filesystem::remove_all(folder_);
        throw std::runtime_error("cannot load " + path_);
    }
    colourObject_ = qrimage::ColourObjectName(geteuid(), identity);
}

LibraryCopy::~LibraryCopy() {
    dlclose(handle_);
    shm_unlink(colourObject_.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace qrtest
