// A private copy of the built library file, loaded on its own.
//
// The colours live in shared memory named after the library file, so a test
// that sets colours or expects the defaults works on a copy: the copy is a
// new file with its own colours, starting from the defaults, and nothing it
// does reaches other tests.
#pragma once

#include <string>

namespace qrtest {

class LibraryCopy {
  public:
    // Copies the library (QRIMAGE_LIBRARY_FILE) into a new temporary folder
    // and loads it with RTLD_LOCAL. Throws std::runtime_error on failure.
    LibraryCopy();
    // Unloads the copy and removes it, its folder and its colour object.
    ~LibraryCopy();
    LibraryCopy(const LibraryCopy&) = delete;
    LibraryCopy& operator=(const LibraryCopy&) = delete;

    // Path of the copied file, for other processes to load.
    const std::string& Path() const { return path_; }

    // The copy's export `name`; throws std::runtime_error when missing.
    void* Find(const char* name) const;
    template <class Function>
    Function* Get(const char* name) const {
        return reinterpret_cast<Function*>(Find(name));
    }

  private:
    std::string folder_;
    std::string path_;
    std::string colourObject_;
    void* handle_ = nullptr;
};

}  // namespace qrtest

// The export `name` of a LibraryCopy, typed as in qrimage.h.
#define QRTEST_EXPORT(copy, name) ((copy).Get<decltype(::name)>(#name))
