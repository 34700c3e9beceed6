// Helpers for tests that write files: temporary folders, file contents, and
// other programs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrtest {

// Names of everything in a folder, sorted.
inline std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A new empty folder, removed with everything in it at the end of the scope.
class TempFolder {
  public:
    TempFolder() : path_(std::filesystem::temp_directory_path() / "qrimage-output-XXXXXX") {
        if (mkdtemp(path_.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed for " + path_);
        }
    }
    ~TempFolder() {
        std::error_code ignored;  // a test may have taken the owner's rights away
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Entries() const { return FolderEntries(path_); }

  private:
    std::string path_;
};

inline std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << content).flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

// UTF-16 of an ASCII string.
inline std::u16string Wide(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

// Runs a program with arguments (none holding a single quote); returns its
// exit status, or -1 when it did not exit normally.
inline int RunProgram(const std::vector<std::string>& arguments) {
    std::string command;
    for (const std::string& argument : arguments) {
        command += " '" + argument + "'";
    }
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qrtest
