// The window's tie to the QR image library: the copy in the application
// folder, loaded by its full path at the first use, never linked.
#pragma once

#include <cstdint>
#include <string>

class LibraryBinding {
  public:
    // What a GenerateBMPW call left as the library's reason (errno on POSIX
    // systems, the thread's last error on Windows; cleared before the call).
    struct Reason {
        bool textTooLong;  // ERANGE, or ERROR_INSUFFICIENT_BUFFER on Windows
        std::string text;  // the system's words for it; "" when no reason was left
    };

    // `path`: the library file (UTF-8 on Windows, the file system's bytes
    // elsewhere). Nothing is loaded yet.
    explicit LibraryBinding(std::string path) : path_(std::move(path)) {}

    // Loads the library and finds GenerateBMPW. Once bound, later calls do
    // nothing; after a failure the next call tries again (the file may have
    // been put back). Returns "" or the system's reason. The library stays
    // loaded until the program ends. One thread at a time.
    std::string Bind();

    const std::string& Path() const { return path_; }

    // Calls GenerateBMPW (qrimage.h) with the arguments unchanged, after a
    // successful Bind. One thread at a time.
    Reason GenerateBMPW(const std::u16string& fileName, const std::u16string& text, int32_t margin,
                        int32_t moduleSize, int32_t level) const;

  private:
    std::string path_;
    void* generate_ = nullptr;  // GenerateBMPW, once bound
};
