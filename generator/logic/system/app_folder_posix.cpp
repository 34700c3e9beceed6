// The application folder's facts on POSIX systems: /proc/self/exe, access(2),
// XDG_RUNTIME_DIR, the home folder, and who may change the folders on the way.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "app_folder_rule.h"

namespace fs = std::filesystem;

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

// The first folder on the way from the root to `folder` (absolute, without
// symbolic links) through which someone else could change what `folder`
// holds: one that is not a folder of root's or this user's, or that others
// may write into. On the way a sticky folder is no risk, as there nobody may
// rename or remove what is not theirs; so is `folder` itself when only a new
// folder of this user's is to be made in it (`makingInside`), but not when
// it is to hold files, as others could plant them first. nullopt when there
// is none.
std::optional<fs::path> FolderOthersMayChange(const fs::path& folder, bool makingInside = false) {
    const fs::path rest = folder.relative_path();
    fs::path step = folder.root_path();
    for (auto part = rest.begin();; ++part) {
        const bool last = part == rest.end();
        struct stat status {};
        const bool closed = lstat(step.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
                            (status.st_uid == 0 || status.st_uid == geteuid()) &&
                            ((status.st_mode & (S_IWGRP | S_IWOTH)) == 0 ||
                             ((!last || makingInside) && (status.st_mode & S_ISVTX)));
        if (!closed) {
            return step;
        }
        if (last) {
            return std::nullopt;
        }
        step /= *part;
    }
}

// XDG_RUNTIME_DIR when it is usable, without its symbolic links, else
// "<home>/.cache", else "". A relative runtime folder is no runtime folder
// (XDG base directories), and neither is one that is gone (a session that
// ended) or one that another user could change (it must be the user's own).
std::string PerUserBase() {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    std::error_code error;
    if (runtime.starts_with('/')) {
        const fs::path real = fs::canonical(runtime, error);
        if (!error && !FolderOthersMayChange(real)) {
            return real.string();
        }
    }
    const std::string home = HomeFolder();
    return home.empty() ? "" : JoinPath(home, ".cache");
}

FolderRefusal SystemRefusal(std::string reason) {
    return {FolderRefusal::Kind::System, std::move(reason)};
}

FolderRefusal OpenToOthers(const fs::path& folder) {
    return {FolderRefusal::Kind::OpenToOthers, folder.string()};
}

// Makes `folder` (and missing parents) with mode 0700; an existing one must
// be a real folder of this user, and no other user may be able to change it
// on its way from the root (nothing is made where they could). Then replaces
// `folder` with its path without symbolic links, which nobody else can
// redirect. Returns why it could not (Kind::None when it could).
FolderRefusal MakePrivateFolder(std::string& folder) {
    std::error_code error;
    fs::path existing = folder;
    while (!fs::exists(existing, error) && existing.has_relative_path()) {
        existing = existing.parent_path();
    }
    const fs::path realExisting = fs::canonical(existing, error);
    if (error) {
        return SystemRefusal(error.message());
    }
    if (const std::optional<fs::path> open = FolderOthersMayChange(realExisting, true)) {
        return OpenToOthers(*open);
    }
    const fs::path parent = fs::path(folder).parent_path();
    if (!fs::exists(parent, error)) {
        fs::create_directories(parent, error);
        if (error) {
            return SystemRefusal(error.message());
        }
        chmod(parent.c_str(), 0700);
    }
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return SystemRefusal(std::strerror(errno));
    }
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0) {
        return SystemRefusal(std::strerror(errno));
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
        return {FolderRefusal::Kind::NotOwn, ""};
    }
    const fs::path real = fs::canonical(folder, error);
    if (error) {
        return SystemRefusal(error.message());
    }
    if (const std::optional<fs::path> open = FolderOthersMayChange(real)) {
        return OpenToOthers(*open);
    }
    folder = real.string();
    return {};
}

// The running program's folder: the kernel's own path, absolute, without
// symbolic links. "" when it cannot be told.
fs::path ExecutableFolder() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : executable.parent_path();
}

bool OwnedByRoot(const fs::path& folder) {
    struct stat status {};
    return lstat(folder.c_str(), &status) == 0 && status.st_uid == 0;
}

}  // namespace

bool ExecutableFolderOpenToOthers() {
    const fs::path folder = ExecutableFolder();
    return folder.empty() || FolderOthersMayChange(folder).has_value();
}

PreparedFolder PrepareApplicationFolder() {
    const fs::path executableFolder = ExecutableFolder();
    const bool known = !executableFolder.empty();
    FolderFacts facts{
        .overridden = Environment(kApplicationFolderVariable),
        .executableFolder = executableFolder.string(),
        .executableFolderWritable = known && access(executableFolder.c_str(), W_OK | X_OK) == 0,
        .executableFolderShared = !known || FolderOthersMayChange(executableFolder),
        .executableFolderOfTheSystem = known && OwnedByRoot(executableFolder),
        .perUserBase = PerUserBase(),
    };
    PreparedFolder prepared{ChooseApplicationFolder(facts), {}};
    if (prepared.folder.empty()) {
        prepared.refusal = {FolderRefusal::Kind::VariableNotSet, "HOME"};
    } else if (facts.overridden.empty() && !ExecutableFolderUsable(facts)) {
        prepared.refusal = MakePrivateFolder(prepared.folder);
    }
    return prepared;
}
