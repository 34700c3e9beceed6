#include "app_folder_rule.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr char kFolderName[] = "qrgenerator";

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

std::string ChooseApplicationFolder(const FolderFacts& facts) {
    if (!facts.overridden.empty()) {
        return facts.overridden;
    }
    if (facts.executableFolderWritable) {
        return facts.executableFolder;
    }
    if (!facts.runtimeFolder.empty()) {
        return JoinPath(facts.runtimeFolder, kFolderName);
    }
    if (!facts.homeFolder.empty()) {
        return JoinPath(JoinPath(facts.homeFolder, ".cache"), kFolderName);
    }
    return "";
}

PreparedFolder PrepareApplicationFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    FolderFacts facts{
        .overridden = Environment(kApplicationFolderVariable),
        .executableFolder = executable.parent_path().string(),
        .executableFolderWritable = false,
        .runtimeFolder = Environment("XDG_RUNTIME_DIR"),
        .homeFolder = HomeFolder(),
    };
    facts.executableFolderWritable =
        !error && access(facts.executableFolder.c_str(), W_OK | X_OK) == 0;
    // A relative runtime folder is no runtime folder (XDG base directories),
    // and neither is one that is gone (a session that ended).
    if (!facts.runtimeFolder.starts_with('/') ||
        !std::filesystem::is_directory(facts.runtimeFolder, error)) {
        facts.runtimeFolder.clear();
    }
    PreparedFolder prepared{ChooseApplicationFolder(facts), ""};
    if (prepared.folder.empty()) {
        prepared.error = "HOME is not set";
    } else if (facts.overridden.empty() && !facts.executableFolderWritable) {
        prepared.error = MakePrivateFolder(prepared.folder);
    }
    return prepared;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += '/';
    path += name;
    return path;
}
