// What the tool does about its process as a whole: the standard streams it
// was started with.
#pragma once

namespace qrtool {

// Whether standard input (0), output (1) or error (2) was closed when the
// process started. Such a descriptor is filled with /dev/null before any
// library is loaded, so that no file opened later takes its number: the
// tool must not write its picture into a file it never meant to.
bool StartedClosed(int descriptor);

}  // namespace qrtool
