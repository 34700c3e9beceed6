// What the program does before its window: the application folder and the
// library copy in it, or the warning that the program cannot start.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "window_face.h"

struct PreparedStart {
    std::string folder;              // the application folder
    std::string libraryPath;         // the library copy written into it
    std::optional<Warning> problem;  // why the program cannot start, if it cannot
};

// Chooses and makes the application folder (app_folder_rule.h) and writes the
// carried library `content` into it under `libraryName` (resource_file.h).
// Any thread, but reads the environment.
PreparedStart PrepareStart(std::string_view libraryName, std::string_view content);
