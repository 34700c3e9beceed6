#include "resource_file.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "app_folder_rule.h"
#include "file_replacement.h"
#if defined(_WIN32)
#include "utf.h"
#endif

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

// `path` as AtomicFile takes it: UTF-16 on Windows, the bytes elsewhere.
qrimage::NativeFileName NativeNameOf(const std::string& path) {
#if defined(_WIN32)
    const std::wstring wide = WideFromUtf8(path);
    return {wide.begin(), wide.end()};
#else
    return path;
#endif
}

// The system's text for a code that AtomicFile left.
std::string ReasonFor(uint32_t code) {
#if defined(_WIN32)
    return SystemReason(code);
#else
    return std::system_category().message(int(code));
#endif
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
    // first Create: only this user's own is used as it is, and a replacement
    // is a new file of this user's alone, whatever the name held before.
    if (!OnlyThisUserMayChange(path) || !HoldsExactly(path, content)) {
        if (const uint32_t error = qrimage::ReplaceFileWith(NativeNameOf(result.path), content,
                                                            qrimage::Ownership::CallersAlone)) {
            result.error = ReasonFor(error);
        }
    }
    return result;
}
