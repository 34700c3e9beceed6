#include <sys/stat.h>

#include <cerrno>

#include "file_access.h"
#include "file_replacement.h"

namespace qrtool {

std::FILE* OpenForReading(const std::string& path) {
    return std::fopen(path.c_str(), "rbe");
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

std::string NoRegularFileReason(const std::string& path) {
    struct stat target {};
    if (stat(path.c_str(), &target) != 0) {
        return "";
    }
    return S_ISFIFO(target.st_mode)   ? "it is a named pipe, not a regular file"
           : S_ISSOCK(target.st_mode) ? "it is a socket, not a regular file"
           : S_ISCHR(target.st_mode) || S_ISBLK(target.st_mode)
               ? "it is a device, not a regular file"
               : "";
}

}  // namespace qrtool
