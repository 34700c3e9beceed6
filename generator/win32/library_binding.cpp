#include "library_binding.h"

#include <type_traits>

#include "qrimage.h"
#include "utf.h"

static_assert(std::is_same_v<LibraryBinding::GenerateBmpWFunction, decltype(&::GenerateBMPW)>,
              "the declaration must match the library's header");

std::string LibraryBinding::Bind() {
    if (generate_ != nullptr) {
        return "";
    }
    // A full path: the search order of bare names plays no part.
    HMODULE module = LoadLibraryW(path_.c_str());
    if (module == nullptr) {
        return SystemReason(GetLastError());
    }
    generate_ = reinterpret_cast<GenerateBmpWFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "GenerateBMPW")));
    if (generate_ == nullptr) {
        const DWORD reason = GetLastError();
        FreeLibrary(module);
        return SystemReason(reason);
    }
    return "";
}

DWORD LibraryBinding::GenerateBMPW(const wchar_t* fileName, const wchar_t* text, int32_t margin,
                                   int32_t moduleSize, int32_t level) const {
    SetLastError(ERROR_SUCCESS);
    generate_(fileName, text, margin, moduleSize, level);
    return GetLastError();
}
