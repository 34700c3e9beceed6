// Which file a path names at a moment, to tell whether a call wrote it anew,
// and removing it. file_identity_posix.cpp and file_identity_win32.cpp do it.
#pragma once

#include <cstdint>
#include <string>

// A snapshot of the file at a path: its device, inode, size and change
// times (on Windows: volume serial number, file index, size, last write
// time; changedNs stays 0). Two snapshots differ when the file was replaced (a new inode, as an
// atomic rename gives), rewritten in place (new times or size), created or
// removed.
struct FileIdentity {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Takes the snapshot of `path` (bytes as the file system takes them, UTF-8 on
// Windows; symbolic links followed). A path that names nothing gives
// exists == false. Any thread; errno and the last error are left as they were.
FileIdentity IdentityOf(const std::string& path);

// Removes the file at `path` (as IdentityOf takes it). Returns "" when it is
// gone, also when it was gone already, else the system's reason. Any thread.
std::string RemoveFile(const std::string& path);
