// What the window makes of a Create and what it may delete on closing.
// Toolkit-free, so that every build of the window shares it.
#pragma once

#include <optional>

#include "file_identity.h"

enum class CreateResult {
    Written,         // a new picture is in the file
    TextDoesNotFit,  // the text fits no symbol at the chosen level
    FileNotWritten,  // the file could not be written (the reason is in errno)
};

// Judges a call of GenerateBMPW from the file's identity before and after it
// and the errno it left (0 before the call). A new file is the success: the
// library writes through a temporary file, so a failed call never leaves one.
// Otherwise errno says why: only ERANGE means the text is too long; anything
// else, no reason at all included, means the file could not be written.
// Pure function, any thread.
CreateResult JudgeCreate(int errorNumber, const FileIdentity& before, const FileIdentity& after);

// Whether closing deletes the file: only when this window wrote it (`written`
// is its identity after this window's last successful Create) and it is
// still that very file. A file that another window, the user or a failed
// Create put there stays. Pure function, any thread.
bool ShouldDeleteOnClose(const std::optional<FileIdentity>& written, const FileIdentity& now);
