#include "qrimage_binding.h"

#include <type_traits>

#include "qrimage.h"

QrImageLibrary::QrImageLibrary(const QString& filePath) : filePath_(filePath) {}

// The library stays loaded until the program ends (QLibrary does not unload
// on destruction).
QrImageLibrary::~QrImageLibrary() = default;

bool QrImageLibrary::Bind() {
    if (generateBmpW_ != nullptr) {
        return true;
    }
    auto library = std::make_unique<QLibrary>(filePath_);
    if (!library->load()) {
        error_ = library->errorString();
        return false;
    }
    static_assert(std::is_same_v<GenerateBMPWFunction, decltype(&::GenerateBMPW)>,
                  "the declaration must match the library's header");
    generateBmpW_ = reinterpret_cast<GenerateBMPWFunction>(library->resolve("GenerateBMPW"));
    if (generateBmpW_ == nullptr) {
        error_ = library->errorString();
        return false;
    }
    library_ = std::move(library);
    error_.clear();
    return true;
}

void QrImageLibrary::GenerateBMPW(const char16_t* fileName, const char16_t* text, int32_t margin,
                                  int32_t moduleSize, int32_t level) const {
    generateBmpW_(fileName, text, margin, moduleSize, level);
}
