#include <dlfcn.h>

#include <cerrno>
#include <cstring>
#include <type_traits>

#include "library_binding.h"
#include "qrimage.h"

std::string LibraryBinding::Bind() {
    if (generate_ != nullptr) {
        return "";
    }
    void* library = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    generate_ = library != nullptr ? dlsym(library, "GenerateBMPW") : nullptr;
    if (generate_ == nullptr) {
        const char* reason = dlerror();
        if (library != nullptr) {
            dlclose(library);
        }
        return reason != nullptr ? reason : "GenerateBMPW not found";
    }
    return "";
}

LibraryBinding::Reason LibraryBinding::GenerateBMPW(const std::u16string& fileName,
                                                    const std::u16string& text, int32_t margin,
                                                    int32_t moduleSize, int32_t level) const {
    const auto generate = reinterpret_cast<decltype(&::GenerateBMPW)>(generate_);
    errno = 0;
    generate(fileName.c_str(), text.c_str(), margin, moduleSize, level);
    const int reason = errno;
    return {reason == ERANGE, reason != 0 ? std::strerror(reason) : ""};
}
