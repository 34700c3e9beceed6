// Where a file name leads, looked up so that another user's link in a
// shared folder is never followed (POSIX).
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "descriptor_posix.h"

namespace qrimage {

// Where a path leads: its last folder, held open, the name in it, and what
// that name is now.
struct Place {
    Descriptor folder;
    std::string name;
    // Whether the name has been looked at; then `exists` and `status` hold.
    bool looked = true;
    bool exists = false;
    // lstat of the name when it exists.
    struct stat status {};
};

// Looks `path` up as the kernel would (relative to the current folder unless
// absolute). Links in the folder part, and at the end when `followLastLink`,
// are followed, except a link in a sticky, world-writable folder (/tmp, say)
// that belongs neither to the caller nor to the folder's owner: another user
// may have planted it so that the caller writes where the planter chose
// (EACCES). The kernel refuses exactly this when fs.protected_symlinks is
// set; the rule holds here whatever that setting. A folder part without
// links costs one system call; one with links is walked a name at a time,
// each in a folder held open, so that no folder can be swapped for a link
// between a check and its use. A dangling link at the end leads to the name
// it points to. Nullopt, with the reason recorded (failure.h), when the path
// cannot be looked up (a missing folder, a link loop, a refused link) or
// names a folder by a trailing slash (EISDIR). Without `lookAtName` the
// last name is left unlooked at where the folder part has no link, a system
// call saved when the caller finds out by other means (LookAt later).
// Throws std::bad_alloc.
std::optional<Place> Locate(const std::string& path, bool followLastLink, bool lookAtName = true);

// Looks at the last name of `place`, found for `path` by Locate: when it is a
// link to follow, `place` becomes where the link leads. False with the reason
// recorded. Throws std::bad_alloc.
bool LookAt(Place& place, const std::string& path, bool followLastLink);

}  // namespace qrimage
