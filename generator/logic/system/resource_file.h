// Writing the library the program carries out into the application folder.
#pragma once

#include <string>
#include <string_view>

// Resource ids of the library that the program carries: the string with
// its file name, and the file itself (custom type "CUSTOM").
inline constexpr int kLibraryNameId = 101;
inline constexpr int kLibraryDataId = 101;

struct ExtractedFile {
    std::string path;   // the file's full path, also when writing failed
    std::string error;  // "" on success, else what went wrong (for the user)
};

// Writes `content` into `folder` under `name` (path joined with JoinPath;
// UTF-8 on Windows, the file system's bytes elsewhere). The file ends up
// holding exactly `content`: a file already holding those bytes is left
// untouched (an installed, read-only copy works, and a running second copy of
// the program is not disturbed) when, on POSIX systems, it is this user's and
// nobody else may write to it; anything else, another user's identical copy
// or a link included, is replaced as the library replaces its files
// (file_replacement.h), by a new file of this user's that nobody else may write:
// atomically, through a temporary file in the same folder that is the user's
// alone and never stays behind. When that fails (another user's file in a
// sticky folder) the reason is the error. An empty name or content is an
// error (the program's resources are missing). Any thread.
ExtractedFile ExtractResourceFile(std::string_view folder, std::string_view name,
                                  std::string_view content);
