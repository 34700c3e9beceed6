// What the window makes of a Create and what it may delete on closing.
// Toolkit-free, so that every build of the window shares it.
#pragma once

#include <optional>

#include "file_identity.h"

enum class CreateResult {
    Written,         // a new picture is in the file
    TextDoesNotFit,  // the text fits no symbol at the chosen level
    FileNotWritten,  // the file could not be written (the library's reason says why)
};

// Judges a call of GenerateBMPW from the file's identity before and after it
// and the reason the library left (errno on POSIX systems, the thread's last
// error on Windows, cleared before the call): `textTooLong` when that reason
// is the library's "no symbol holds the text" (ERANGE, or
// ERROR_INSUFFICIENT_BUFFER on Windows). A new file is the success: the
// library writes through a temporary file, so a failed call never leaves one.
// Otherwise only that reason means the text is too long; any other, no reason
// at all included, means the file could not be written.
// Pure function, any thread.
CreateResult JudgeCreate(bool textTooLong, const FileIdentity& before, const FileIdentity& after);

// Whether closing deletes the file: only when this window wrote it (`written`
// is its identity after this window's last successful Create) and it is
// still that very file. A file that another window, the user or a failed
// Create put there stays. Pure function, any thread.
bool ShouldDeleteOnClose(const std::optional<FileIdentity>& written, const FileIdentity& now);
