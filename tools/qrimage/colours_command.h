// "qrimage colours": shows or sets the library's shared colours.
#pragma once

#include "options.h"

namespace qrtool {

// Sets the colours given in options (foreground, background), then prints
// both as "foreground RRGGBB" and "background RRGGBB" lines on standard
// output. Returns the exit status.
int RunColours(const Options& options);

}  // namespace qrtool
