// File names as the caller gives them, made into what the platform's file
// functions take.
#pragma once

#include <optional>

#include "file_replacement.h"  // NativeFileName

namespace qrimage {

// A W export's name. On Windows its units unchanged; elsewhere its UTF-8
// form. Nullopt, with InvalidArgument recorded, for a null name or (not on
// Windows) one holding an unpaired surrogate (it has no UTF-8 form, and
// replacing it would make different names collide). Throws std::bad_alloc.
std::optional<NativeFileName> FileNameFromWide(const char16_t* name);

// An A export's name. On Windows widened from the ANSI code page, as the
// system's own A functions do; elsewhere its bytes unchanged, whatever the
// locale. Nullopt, with InvalidArgument recorded, for a null name. Throws
// std::bad_alloc.
std::optional<NativeFileName> FileNameFromNarrow(const char* name);

}  // namespace qrimage
