// File names as UTF-16, through the wide file API; the library's reasons
// from the thread's last error, told in errno values as on POSIX systems so
// that the tool says the same things on both.
#include <windows.h>

#include <cerrno>
#include <optional>

#include "file_access.h"
#include "file_replacement.h"

namespace qrtool {

namespace {

// `text` as UTF-16; nullopt when it is not UTF-8.
std::optional<std::wstring> Wide(std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         int(text.size()), nullptr, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    std::wstring wide(std::size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), wide.data(),
                        size);
    return wide;
}

// The errno value that tells the same as the system code `code`.
int ErrnoOf(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_INSUFFICIENT_BUFFER:
            return ERANGE;
        case ERROR_FILE_TOO_LARGE:
            return EFBIG;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_INVALID_PARAMETER:
        case ERROR_INVALID_NAME:
        case ERROR_NO_UNICODE_TRANSLATION:
            return EINVAL;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

}  // namespace

std::FILE* OpenForReading(const std::string& path) {
    const std::optional<std::wstring> name = Wide(path);
    if (!name) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(name->c_str(), L"rbN");  // N: not inherited
}

int ReplaceFileWithBytes(const std::string& path, std::string_view bytes) {
    const std::optional<std::wstring> name = Wide(path);
    if (!name) {
        return EINVAL;
    }
    const std::u16string native(name->begin(), name->end());
    return ErrnoOf(qrimage::ReplaceFileWith(native, bytes));
}

void ClearLibraryError() {
    errno = 0;
    SetLastError(ERROR_SUCCESS);
}

// The tool's own checks around a library call report through errno.
int LibraryError() {
    return errno != 0 ? errno : ErrnoOf(GetLastError());
}

// The library refuses devices by their names (NUL, CON, ...) with the
// system's own reason, which says enough.
std::string NoRegularFileReason(const std::string&) {
    return "";
}

}  // namespace qrtool
