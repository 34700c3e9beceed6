// The name of the shared-memory object that holds the colour words.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace qrimage {

// One object per user and per library file. The file is named by device,
// inode and modification time, so a new build, or a new file that reuses an
// old inode, starts from the default colours. The object lies in the folder
// that shared_words_posix.cpp chooses. Header-only so that the tests can find
// the objects of their private library copies.
//
// Every name of the user's objects, of any library file, starts with the
// prefix (after the slash): the objects left by processes that ended without
// unloading are found by it.
inline std::string ColourObjectPrefix(uid_t user) {
    return "qrimage-colours-" + std::to_string(user) + "-";
}

inline std::string ColourObjectName(uid_t user, const struct stat& libraryFile) {
    return "/" + ColourObjectPrefix(user) +
           std::to_string(static_cast<unsigned long long>(libraryFile.st_dev)) + "-" +
           std::to_string(static_cast<unsigned long long>(libraryFile.st_ino)) + "-" +
           std::to_string(static_cast<long long>(libraryFile.st_mtim.tv_sec)) + "." +
           std::to_string(static_cast<long long>(libraryFile.st_mtim.tv_nsec));
}

}  // namespace qrimage
