#include "encode/text_conversion.h"
#include "failure.h"
#include "platform/file_name.h"

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
