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

// Whether something exists at `path`.
bool FileExists(const std::string& path);

// Removes the file `path`; a failure is ignored.
void RemoveFile(const std::string& path);

// A new folder in the system's temporary folder that only this user may
// enter; "" with `error` (an errno value) set when none can be made.
std::string MakePrivateFolder(int& error);

// Removes the folder `path` with all it holds; failures are ignored.
void RemoveFolder(const std::string& path);

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
