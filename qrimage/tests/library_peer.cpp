// A second process for the colour test: loads a library file by path.
//   library_peer LIBRARY colours FG BG  exit 0 when the colours are FG, BG (hex)
//   library_peer LIBRARY set FG BG      sets both colours
#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "qrimage.h"

#define EXPORT(name) reinterpret_cast<decltype(&name)>(dlsym(library, #name))

int main(int argc, char** argv) {
    void* library = argc == 5 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (library == nullptr) {
        return 2;
    }
    const COLORREF foreground = std::strtoul(argv[3], nullptr, 16);
    const COLORREF background = std::strtoul(argv[4], nullptr, 16);
    if (std::string(argv[2]) == "set") {
        EXPORT(SetForegroundColor)(foreground);
        EXPORT(SetBackgroundColor)(background);
        return 0;
    }
    return EXPORT(GetForegroundColor)() == foreground && EXPORT(GetBackgroundColor)() == background
               ? 0
               : 1;
}
