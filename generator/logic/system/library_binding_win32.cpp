#include <windows.h>

#include "library_binding.h"
#include "qrimage.h"
#include "utf.h"

std::string LibraryBinding::Bind() {
    if (generate_ != nullptr) {
        return "";
    }
    // A full path: the search order of bare names plays no part.
    HMODULE module = LoadLibraryW(WideFromUtf8(path_).c_str());
    if (module == nullptr) {
        return SystemReason(GetLastError());
    }
    generate_ = reinterpret_cast<void*>(GetProcAddress(module, "GenerateBMPW"));
    if (generate_ == nullptr) {
        const DWORD reason = GetLastError();
        FreeLibrary(module);
        return SystemReason(reason);
    }
    return "";
}

LibraryBinding::Reason LibraryBinding::GenerateBMPW(const std::u16string& fileName,
                                                    const std::u16string& text, int32_t margin,
                                                    int32_t moduleSize, int32_t level) const {
    // wchar_t is 16 bits on Windows: the UTF-16 units are passed as they are.
    const auto generate = reinterpret_cast<decltype(&::GenerateBMPW)>(generate_);
    SetLastError(ERROR_SUCCESS);
    generate(reinterpret_cast<const wchar_t*>(fileName.c_str()),
             reinterpret_cast<const wchar_t*>(text.c_str()), margin, moduleSize, level);
    const DWORD reason = GetLastError();
    return {reason == ERROR_INSUFFICIENT_BUFFER, reason != 0 ? SystemReason(reason) : ""};
}
