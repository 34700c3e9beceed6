// Where the program keeps its files: the library copy it writes out at start
// and QR.bmp. The rule is shared by every build of the window; gathering the
// facts is the platform's (app_folder_posix.cpp, app_folder_win32.cpp).
#pragma once

#include <string>
#include <string_view>

// The separator JoinPath puts between a folder and a name.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The environment variable that names the application folder outright (used
// as given, not created). Tests point it at folders of their own.
inline constexpr char kApplicationFolderVariable[] = "QRGENERATOR_APP_DIR";

// What the choice depends on, gathered by PrepareApplicationFolder. Paths are
// UTF-8 on Windows, the file system's bytes elsewhere.
struct FolderFacts {
    std::string overridden;         // QRGENERATOR_APP_DIR, "" when unset
    std::string executableFolder;   // the folder holding the running program
    bool executableFolderWritable;  // whether this user may create files there
    // Whether someone else could change what it holds: another user may write
    // into it, or into a folder on its way from the root without the sticky
    // bit, or owns one of them (root and this user are trusted). Such a folder
    // would let them plant or swap the library the program loads.
    bool executableFolderShared;
    // Whether it is a folder of the system's (root's, as where a package
    // installs the program): nothing is written there at run time, not even
    // by root, so that removing the package leaves nothing behind.
    bool executableFolderOfTheSystem;
    // The user's own folder for program data: %LOCALAPPDATA% on Windows;
    // XDG_RUNTIME_DIR, else "<home>/.cache", elsewhere. "" when none.
    std::string perUserBase;
};

// The application folder: the override when set; else the executable's folder
// when the user may write there, nobody else may change it and it is not the
// system's (a copy run from its own folder); else "<perUserBase>/qrgenerator".
// "" when none applies. Pure function, any thread.
std::string ChooseApplicationFolder(const FolderFacts& facts);

// Whether ChooseApplicationFolder takes the executable's folder when nothing
// overrides it. Pure function, any thread.
bool ExecutableFolderUsable(const FolderFacts& facts);

// Whether someone else could change what the running program's folder holds
// (as FolderFacts::executableFolderShared; also when the folder cannot be
// told). The program then loads nothing from it: no library copy, no
// toolkit plugin or settings. Asked before the toolkit starts. Any thread.
bool ExecutableFolderOpenToOthers();

// Why the application folder cannot be used: the system's reason, or one of
// the program's own, which the window puts into its own language.
struct FolderRefusal {
    enum class Kind {
        None,            // the folder is usable
        System,          // detail: the system's reason
        OpenToOthers,    // detail: the folder that other users may change
        NotOwn,          // the name is not a folder, or another user's
        VariableNotSet,  // detail: the environment variable's name
    };
    Kind kind = Kind::None;
    std::string detail;
};

struct PreparedFolder {
    std::string folder;  // the chosen folder, also when it could not be made
    FolderRefusal refusal;
};

// Gathers the facts from the environment and the file system, chooses the
// folder and, when it is a per-user folder, makes sure it exists as a folder
// of this user (on POSIX systems one nobody else may enter, mode 0700,
// missing parents included, and that no other user can change on its way
// from the root; its path then has no symbolic links). Any thread, but reads
// the environment.
PreparedFolder PrepareApplicationFolder();

// `folder`, kPathSeparator and `name`, joined as they are: nothing is added
// or removed, so a folder ending in a separator gives two in a row. Pure
// function, any thread.
std::string JoinPath(std::string_view folder, std::string_view name);
