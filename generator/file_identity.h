// Which file a path names at a moment, to tell whether a call wrote it anew.
#pragma once

#include <QString>

#include <cstdint>

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

// Takes the snapshot of `path` (symbolic links followed). A path that names
// nothing gives exists == false. Any thread.
FileIdentity IdentityOf(const QString& path);
