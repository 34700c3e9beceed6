#include "resource_file.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "app_folder_rule.h"

namespace fs = std::filesystem;

namespace {

fs::path PathOf(const std::string& path) {
#if defined(_WIN32)
    // UTF-8 to the wide names of the Windows file functions.
    return fs::path(std::u8string(path.begin(), path.end()));
#else
    return fs::path(path);
#endif
}

// True when the file at `path` holds exactly `content`. Compares the size
// first so that a different file is mostly not read at all.
bool HoldsExactly(const fs::path& path, std::string_view content) {
    std::error_code error;
    if (fs::file_size(path, error) != content.size() || error) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    const std::string held((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    return file.good() || file.eof() ? held == content : false;
}

// Whether nobody but this user can rewrite the file at `path` in place: a
// regular file (not a link to one elsewhere) of this user's that neither its
// group nor others may write to. On Windows access control lists would
// decide, and they are not read: true.
bool OnlyThisUserMayChange([[maybe_unused]] const fs::path& path) {
#if defined(_WIN32)
    return true;
#else
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_uid == geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
#endif
}

// A name beside `path` that no other writer picks: a random 64-bit suffix.
fs::path TemporaryBeside(const fs::path& path) {
    std::random_device random;
    const uint64_t suffix = (uint64_t{random()} << 32) ^ random();
    fs::path temporary = path;
    temporary += ".tmp-" + std::to_string(suffix);
    return temporary;
}

// Writes `content` to a fresh temporary file and renames it over `path`.
// Returns "" or the system's reason; the temporary file never stays.
std::string ReplaceWith(const fs::path& path, std::string_view content) {
    const fs::path temporary = TemporaryBeside(path);
    std::string reason;
    {
        errno = 0;
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file) {
            return errno != 0 ? std::strerror(errno) : "cannot create a temporary file";
        }
        file.write(content.data(), std::streamsize(content.size()));
        file.close();
        if (!file) {
            reason = errno != 0 ? std::strerror(errno) : "write failed";
        }
    }
    std::error_code error;
    if (reason.empty()) {
        fs::rename(temporary, path, error);
        if (error) {
            reason = error.message();
        }
    }
    if (!reason.empty()) {
        fs::remove(temporary, error);
    }
    return reason;
}

}  // namespace

ExtractedFile ExtractResourceFile(std::string_view folder, std::string_view name,
                                  std::string_view content) {
    ExtractedFile result{JoinPath(folder, name), ""};
    if (name.empty() || content.empty()) {
        result.error = "the program's resource is missing";
        return result;
    }
    const fs::path path = PathOf(result.path);
    // A copy that someone else could rewrite after this check (another user's,
    // planted first, or one they may write to) would run their code at the
    // first Create: only this user's own is used as it is.
    if (!OnlyThisUserMayChange(path) || !HoldsExactly(path, content)) {
        result.error = ReplaceWith(path, content);
    }
    return result;
}
