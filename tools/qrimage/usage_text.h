// The texts of --help and --version.
#pragma once

namespace qrtool {

// The full --help text, ending with a newline.
extern const char* const kHelpText;
// The hint printed after a usage error.
extern const char* const kUsageHint;

}  // namespace qrtool
