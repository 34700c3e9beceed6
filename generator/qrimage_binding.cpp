#include "qrimage_binding.h"

#include <type_traits>

#include "qrimage.h"

QrImageLibrary::QrImageLibrary(const QString& filePath) : library_(filePath) {}

bool QrImageLibrary::Bind() {
    if (generateBmpW_ != nullptr) {
        return true;
    }
    if (!library_.load()) {
        return false;
    }
    static_assert(std::is_same_v<GenerateBMPWFunction, decltype(&::GenerateBMPW)>,
                  "the declaration must match the library's header");
    generateBmpW_ = reinterpret_cast<GenerateBMPWFunction>(library_.resolve("GenerateBMPW"));
    return generateBmpW_ != nullptr;
}

void QrImageLibrary::GenerateBMPW(const char16_t* fileName, const char16_t* text, int32_t margin,
                                  int32_t moduleSize, int32_t level) const {
    generateBmpW_(fileName, text, margin, moduleSize, level);
}
