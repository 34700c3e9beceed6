// Where the program keeps its files: the library copy it writes out at start
// and QR.bmp. Toolkit-free, so that every build of the window shares it.
#pragma once

#include <string>
#include <string_view>

// The environment variable that names the application folder outright (used
// as given, not created). Tests point it at folders of their own.
inline constexpr char kApplicationFolderVariable[] = "QRGENERATOR_APP_DIR";

// What the choice depends on, gathered by PrepareApplicationFolder.
struct FolderFacts {
    std::string overridden;         // QRGENERATOR_APP_DIR, "" when unset
    std::string executableFolder;   // the folder holding the running program
    bool executableFolderWritable;  // whether this user may create files there
    std::string runtimeFolder;      // XDG_RUNTIME_DIR; "" when unset, relative or gone
    std::string homeFolder;         // the user's home, "" when unknown
};

// The application folder: the override when set; else the executable's folder
// when the user may write there (a copy run from its own folder); else a
// folder of this user's own, "<runtime>/qrgenerator", or, without a runtime
// folder, "<home>/.cache/qrgenerator". "" when none applies (no home either).
// Pure function, any thread.
std::string ChooseApplicationFolder(const FolderFacts& facts);

struct PreparedFolder {
    std::string folder;  // the chosen folder, also when it could not be made
    std::string error;   // "" on success, else the system's reason
};

// Gathers the facts from the environment and the file system, chooses the
// folder and, when it is a per-user folder, makes sure it exists as a folder
// of this user that nobody else may enter (created with mode 0700, parents
// included). Any thread, but reads the environment.
PreparedFolder PrepareApplicationFolder();

// `folder`, "/" and `name`, joined as they are: nothing is added or removed,
// so a folder ending in "/" gives "//". Pure function, any thread.
std::string JoinPath(std::string_view folder, std::string_view name);
