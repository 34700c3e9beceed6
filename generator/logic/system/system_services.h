// The one door between the window's presenter and the operating system:
// making the picture through the library, telling which file a path names,
// removing a file. OperatingSystem (operating_system.h) is the real one;
// the presenter's tests put a recording double in its place.
#pragma once

#include <cstdint>
#include <string>

#include "file_identity.h"

// What a request for the picture left behind.
struct PictureCall {
    // "" when the library was loaded and called; else why it could not be
    // loaded, and nothing was called.
    std::string libraryError;
    // The library's reason for a failure: the text did not fit any symbol.
    bool textTooLong = false;
    // The system's words for the library's reason; "" when it left none.
    std::string reason;
};

// Paths are UTF-8 on Windows, the file system's bytes elsewhere. Called on
// one thread at a time (the window's).
class SystemServices {
  public:
    virtual ~SystemServices() = default;

    // The library file that MakePicture loads, for what the user is told.
    virtual const std::string& LibraryPath() const = 0;

    // Loads the library at its first success and has it write the picture of
    // `text` to `path` as a BMP file: GenerateBMPW (qrimage.h) with `margin`
    // modules of quiet zone, `moduleSize` pixels a module and the level
    // 0 (L) to 3 (H), the arguments passed on unchanged. Whether a file was
    // written is told by the file's identity, not by the result.
    virtual PictureCall MakePicture(const std::string& path, const std::u16string& text,
                                    int32_t margin, int32_t moduleSize, int32_t level) = 0;

    // The identity of the file at `path` now (file_identity.h).
    virtual FileIdentity IdentityOf(const std::string& path) const = 0;

    // Removes the file at `path`: "" when it is gone, also when it was gone
    // already, else the system's reason.
    virtual std::string RemoveFile(const std::string& path) = 0;
};
