#include "failure.h"
#include "file_name.h"
#include "text_conversion.h"

namespace qrimage {

std::optional<NativeFileName> FileNameFromWide(const char16_t* name) {
    std::optional<NativeFileName> bytes;
    if (name != nullptr) {
        bytes = Utf16ToUtf8Strict(name);
    }
    if (!bytes) {
        RecordFailure(Failure::InvalidArgument);
    }
    return bytes;
}

std::optional<NativeFileName> FileNameFromNarrow(const char* name) {
    if (name == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    return NativeFileName(name);
}

}  // namespace qrimage
