#include "operating_system.h"

#include "utf.h"

PictureCall OperatingSystem::MakePicture(const std::string& path, const std::u16string& text,
                                         int32_t margin, int32_t moduleSize, int32_t level) {
    if (std::string error = library_.Bind(); !error.empty()) {
        return {std::move(error), false, ""};
    }
    // The library takes UTF-16 file names on every system.
    LibraryBinding::Reason reason =
        library_.GenerateBMPW(Utf16FromUtf8(path), text, margin, moduleSize, level);
    return {"", reason.textTooLong, std::move(reason.text)};
}

FileIdentity OperatingSystem::IdentityOf(const std::string& path) const {
    return ::IdentityOf(path);
}

std::string OperatingSystem::RemoveFile(const std::string& path) {
    return ::RemoveFile(path);
}
