// File names as the caller gives them, made into what the platform's file
// functions take.
#pragma once

#include <optional>
#include <string>

namespace qrimage {

// On POSIX a file name is the bytes of the path, relative to the current
// folder unless absolute.
using NativeFileName = std::string;

// A W export's name: its UTF-8 form. Nullopt, with InvalidArgument recorded,
// for a null name or one holding an unpaired surrogate (it has no UTF-8
// form, and replacing it would make different names collide). Throws
// std::bad_alloc.
std::optional<NativeFileName> FileNameFromWide(const char16_t* name);

// An A export's name: its bytes unchanged, whatever the locale. Nullopt,
// with InvalidArgument recorded, for a null name. Throws std::bad_alloc.
std::optional<NativeFileName> FileNameFromNarrow(const char* name);

}  // namespace qrimage
