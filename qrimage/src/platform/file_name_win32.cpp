// File names on Windows: W names go to the wide file API unchanged, A names
// are widened from the ANSI code page, as the system's own A functions do.
#include "encode/text_conversion.h"
#include "failure.h"
#include "platform/file_name.h"

namespace qrimage {

std::optional<NativeFileName> FileNameFromWide(const char16_t* name) {
    if (name == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    return NativeFileName(name);
}

std::optional<NativeFileName> FileNameFromNarrow(const char* name) {
    return WidenAnsiText(name, SIZE_MAX);  // records InvalidArgument for null
}

}  // namespace qrimage
