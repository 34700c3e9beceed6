// File identity from GetFileInformationByHandle: the volume and file index
// name the file as an inode does.
#include <windows.h>

#include "file_identity.h"
#include "utf.h"

FileIdentity IdentityOf(const std::string& path) {
    const DWORD savedError = GetLastError();
    FileIdentity identity;
    // No access rights beyond reading the attributes; every sharing mode, so
    // the file is not held against others.
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (file != INVALID_HANDLE_VALUE) {
        if (GetFileInformationByHandle(file, &info)) {
            identity = FileIdentity{
                .exists = true,
                .device = info.dwVolumeSerialNumber,
                .inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                .size =
                    static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow),
                // 100 ns ticks.
                .modifiedNs =
                    static_cast<int64_t>(((uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                          info.ftLastWriteTime.dwLowDateTime) *
                                         100),
                .changedNs = 0,
            };
        }
        CloseHandle(file);
    }
    SetLastError(savedError);
    return identity;
}

std::string RemoveFile(const std::string& path) {
    return DeleteFileW(WideFromUtf8(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND
               ? ""
               : SystemReason(GetLastError());
}
