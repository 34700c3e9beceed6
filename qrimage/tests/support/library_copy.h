// A private copy of the built library file, loaded on its own. The colours
// are shared per library file, so a copy's colours start from the defaults
// and reach no other test.
#pragma once

#include <dlfcn.h>

#include <string>

#include "qrimage.h"

namespace qrtest {

class LibraryCopy {
  public:
    // Copies QRIMAGE_LIBRARY_FILE into a new folder (mode 0700) and loads it
    // with RTLD_LOCAL. Throws std::runtime_error on failure.
    LibraryCopy();
    // Unloads the copy and removes it, its folder and the user's colour object.
    ~LibraryCopy();
    LibraryCopy(const LibraryCopy&) = delete;
    LibraryCopy& operator=(const LibraryCopy&) = delete;

    const std::string& Path() const { return path_; }
    const std::string& Folder() const { return folder_; }
    const std::string& ColourObject() const { return colourObject_; }  // shm_open name

    // The copy's export `name`, or null.
    template <class Function>
    Function* Get(const char* name) const {
        return reinterpret_cast<Function*>(dlsym(handle_, name));
    }

  private:
    std::string folder_, path_, colourObject_;
    void* handle_ = nullptr;
};

// The export `name` of a LibraryCopy, typed as in qrimage.h.
#define QRTEST_EXPORT(copy, name) ((copy).Get<decltype(::name)>(#name))

// A LibraryCopy with its exports as members named as in qrimage.h.
struct Library : LibraryCopy {
#define QRTEST_MEMBER(name) decltype(&::name) name = QRTEST_EXPORT(*this, name)
    QRTEST_MEMBER(GetHBitmapW);
    QRTEST_MEMBER(GetHBitmapA);
    QRTEST_MEMBER(DeleteObject);
    QRTEST_MEMBER(GetObjectW);
    QRTEST_MEMBER(GenerateBMPW);
    QRTEST_MEMBER(GenerateBMPA);
    QRTEST_MEMBER(GeneratePNGW);
    QRTEST_MEMBER(GeneratePNGA);
    QRTEST_MEMBER(GetPNGW);
    QRTEST_MEMBER(GetPNGA);
    QRTEST_MEMBER(DestroyBuffer);
    QRTEST_MEMBER(SetForegroundColor);
    QRTEST_MEMBER(GetForegroundColor);
    QRTEST_MEMBER(SetBackgroundColor);
    QRTEST_MEMBER(GetBackgroundColor);
#undef QRTEST_MEMBER
};

}  // namespace qrtest
