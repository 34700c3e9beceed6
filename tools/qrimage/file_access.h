// The files the tool itself opens, named by UTF-8 text: the one place that
// turns such a name into the platform's own (bytes on POSIX systems, UTF-16
// on Windows).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace qrtool {

// `path` opened for reading in binary mode, not inherited by child
// processes; nullptr with errno set when it cannot be. The caller closes it.
std::FILE* OpenForReading(const std::string& path);

// Why the library refused `path` when it names something that is no regular
// file ("it is a named pipe, not a regular file", ...); "" when it is none
// such, or cannot be told.
std::string NoRegularFileReason(const std::string& path);

// Replaces the file `path` with `bytes` through the library's own file
// replacement. Returns 0 or an errno value. Thread-safe.
int ReplaceFileWithBytes(const std::string& path, std::string_view bytes);

// Forgets the reason of an earlier library call on this thread.
void ClearLibraryError();

// Why the last library call on this thread made nothing, as an errno value
// (ERANGE, EFBIG, ENOMEM, EINVAL or the file system's reason); 0 when it
// gave none.
int LibraryError();

}  // namespace qrtool
