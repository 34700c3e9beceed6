// The application folder's facts on POSIX systems: /proc/self/exe, access(2),
// XDG_RUNTIME_DIR and the home folder.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app_folder_rule.h"

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeFolder() {
    std::string home = Environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir) {
            home = entry->pw_dir;
        }
    }
    return home;
}

// XDG_RUNTIME_DIR when it is usable, else "<home>/.cache", else "". A
// relative runtime folder is no runtime folder (XDG base directories), and
// neither is one that is gone (a session that ended).
std::string PerUserBase() {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    std::error_code error;
    if (runtime.starts_with('/') && std::filesystem::is_directory(runtime, error)) {
        return runtime;
    }
    const std::string home = HomeFolder();
    return home.empty() ? "" : JoinPath(home, ".cache");
}

// Makes `folder` (and missing parents) with mode 0700; an existing one must
// be a real folder of this user. Returns "" or the reason.
std::string MakePrivateFolder(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path parent = std::filesystem::path(folder).parent_path();
    if (!std::filesystem::exists(parent, error)) {
        std::filesystem::create_directories(parent, error);
        if (error) {
            return error.message();
        }
        chmod(parent.c_str(), 0700);
    }
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::strerror(errno);
    }
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
        return std::strerror(EACCES);  // someone else's, or not a folder
    }
    return "";
}

}  // namespace

PreparedFolder PrepareApplicationFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    FolderFacts facts{
        .overridden = Environment(kApplicationFolderVariable),
        .executableFolder = executable.parent_path().string(),
        .executableFolderWritable = false,
        .perUserBase = PerUserBase(),
    };
    facts.executableFolderWritable =
        !error && access(facts.executableFolder.c_str(), W_OK | X_OK) == 0;
    PreparedFolder prepared{ChooseApplicationFolder(facts), ""};
    if (prepared.folder.empty()) {
        prepared.error = "HOME is not set";
    } else if (facts.overridden.empty() && !facts.executableFolderWritable) {
        prepared.error = MakePrivateFolder(prepared.folder);
    }
    return prepared;
}
