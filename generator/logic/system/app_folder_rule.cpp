#include "app_folder_rule.h"

std::string ChooseApplicationFolder(const FolderFacts& facts) {
    if (!facts.overridden.empty()) {
        return facts.overridden;
    }
    if (ExecutableFolderUsable(facts)) {
        return facts.executableFolder;
    }
    if (!facts.perUserBase.empty()) {
        return JoinPath(facts.perUserBase, "qrgenerator");
    }
    return "";
}

bool ExecutableFolderUsable(const FolderFacts& facts) {
    return facts.executableFolderWritable && !facts.executableFolderShared &&
           !facts.executableFolderOfTheSystem;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += kPathSeparator;
    path += name;
    return path;
}
