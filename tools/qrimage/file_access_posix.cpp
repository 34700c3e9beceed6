#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "atomic_file.h"
#include "file_access.h"

namespace qrtool {

std::FILE* OpenForReading(const std::string& path) {
    return std::fopen(path.c_str(), "rbe");
}

bool FileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

void RemoveFile(const std::string& path) {
    unlink(path.c_str());
}

std::string MakePrivateFolder(int& error) {
    std::error_code failure;
    std::string pattern = std::filesystem::temp_directory_path(failure) / "qrimage-XXXXXX";
    if (failure) {
        error = failure.value();
        return "";
    }
    if (mkdtemp(pattern.data()) == nullptr) {
        error = errno;
        return "";
    }
    return pattern;
}

void RemoveFolder(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

int ReplaceFileWithBytes(const std::string& path, std::string_view bytes) {
    return int(qrimage::ReplaceFileWith(path, bytes));
}

// The library reports through errno here.
void ClearLibraryError() {
    errno = 0;
}

int LibraryError() {
    return errno;
}

}  // namespace qrtool
