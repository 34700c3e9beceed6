// Which file a path names at a moment, to tell whether a call wrote it anew.
// Toolkit-free.
#pragma once

#include <cstdint>
#include <string>

// A snapshot of the file at a path: its device, inode, size and change
// times. Two snapshots differ when the file was replaced (a new inode, as an
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

// Takes the snapshot of `path` (bytes as the file system takes them;
// symbolic links followed). A path that names nothing gives exists == false.
// Any thread; errno is left as it was.
FileIdentity IdentityOf(const std::string& path);
