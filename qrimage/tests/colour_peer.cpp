// A second process for the colour tests: loads a library file by path and
// reads or sets its colours.
//   colour_peer LIBRARY get            prints "FOREGROUND BACKGROUND" in hex
//   colour_peer LIBRARY set FG BG      sets both (hex), prints nothing
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qrimage.h"

namespace {

template <class Function>
Function* Resolve(void* library, const char* name) {
    void* address = dlsym(library, name);
    if (address == nullptr) {
        std::fprintf(stderr, "colour_peer: no export %s\n", name);
        std::exit(2);
    }
    return reinterpret_cast<Function*>(address);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: colour_peer LIBRARY get | set FG BG\n");
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "colour_peer: %s\n", dlerror());
        return 2;
    }
    if (std::strcmp(argv[2], "get") == 0) {
        std::printf("%08x %08x\n",
                    Resolve<decltype(GetForegroundColor)>(library, "GetForegroundColor")(),
                    Resolve<decltype(GetBackgroundColor)>(library, "GetBackgroundColor")());
    } else if (std::strcmp(argv[2], "set") == 0 && argc == 5) {
        Resolve<decltype(SetForegroundColor)>(
            library, "SetForegroundColor")(COLORREF(std::strtoul(argv[3], nullptr, 16)));
        Resolve<decltype(SetBackgroundColor)>(
            library, "SetBackgroundColor")(COLORREF(std::strtoul(argv[4], nullptr, 16)));
    } else {
        return 2;
    }
    dlclose(library);
    return 0;
}
