// SystemServices as the operating system gives them: the library loaded from
// its file by full path at the first picture, files seen and removed by the
// file system.
#pragma once

#include <string>

#include "library_binding.h"
#include "system_services.h"

class OperatingSystem final : public SystemServices {
  public:
    // `libraryPath`: the library copy to load (UTF-8 on Windows, the file
    // system's bytes elsewhere). Nothing is loaded yet.
    explicit OperatingSystem(std::string libraryPath) : library_(std::move(libraryPath)) {}

    const std::string& LibraryPath() const override { return library_.Path(); }
    PictureCall MakePicture(const std::string& path, const std::u16string& text, int32_t margin,
                            int32_t moduleSize, int32_t level) override;
    FileIdentity IdentityOf(const std::string& path) const override;
    std::string RemoveFile(const std::string& path) override;

  private:
    LibraryBinding library_;
};
