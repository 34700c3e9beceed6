// Another process for the colour tests: starts in FOLDER, loads LIBRARY (a
// path relative to FOLDER, or absolute) and runs the steps in order.
//   set FG BG     sets both colours (hex)
//   expect FG BG  exit 1 unless the colours are FG, BG
//   chdir DIR     changes the current folder
//   hold          writes "held\n" on stdout, then waits for stdin to end
//   fork          the process ends (exit 0); its child goes on with the steps
// Exit 0 when every step passed, 2 when the library cannot be loaded. The
// library is never unloaded by hand: the end of the process does it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "qrimage.h"

#define EXPORT(name) reinterpret_cast<decltype(&name)>(dlsym(library, #name))

int main(int argc, char** argv) {
    void* library =
        argc >= 3 && chdir(argv[1]) == 0 ? dlopen(argv[2], RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (library == nullptr) {
        return 2;
    }
    for (int at = 3; at < argc; ++at) {
        const std::string step = argv[at];
        const auto colour = [&] { return COLORREF(std::strtoul(argv[++at], nullptr, 16)); };
        if (step == "set") {
            EXPORT(SetForegroundColor)(colour());
            EXPORT(SetBackgroundColor)(colour());
        } else if (step == "expect") {
            const COLORREF foreground = colour(), background = colour();
            if (EXPORT(GetForegroundColor)() != foreground ||
                EXPORT(GetBackgroundColor)() != background) {
                return 1;
            }
        } else if (step == "chdir") {
            if (chdir(argv[++at]) != 0) {
                return 3;
            }
        } else if (step == "fork") {
            const pid_t child = fork();
            if (child != 0) {
                return child > 0 ? 0 : 5;
            }
        } else if (step == "hold") {
            std::fputs("held\n", stdout);
            std::fflush(stdout);
            while (std::getchar() != EOF) {
            }
        } else {
            return 4;
        }
    }
    return 0;
}
