#include "colours_command.h"

#include <qrimage.h>

#include <cstdio>

namespace qrtool {

int RunColours(const Options& options) {
    if (options.foreground) {
        SetForegroundColor(*options.foreground);
    }
    if (options.background) {
        SetBackgroundColor(*options.background);
    }
    const bool written =
        std::printf("foreground %s\nbackground %s\n", FormatColour(GetForegroundColor()).c_str(),
                    FormatColour(GetBackgroundColor()).c_str()) > 0 &&
        std::fflush(stdout) == 0;
    return written ? 0 : 1;
}

}  // namespace qrtool
