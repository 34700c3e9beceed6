// Writes one picture through a library file given by path, so that the file
// tests can run the library as another user.
// Usage: write_picture LIBRARY bmp|png FILE TEXT
// Exit status 0 after the call (which reports nothing), 2 when it could not
// be made.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 5 || (std::strcmp(argv[2], "bmp") != 0 && std::strcmp(argv[2], "png") != 0)) {
        std::fprintf(stderr, "usage: %s LIBRARY bmp|png FILE TEXT\n", argv[0]);
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    using Generate = void(const char*, const char*, int32_t, int32_t, int32_t);
    auto* generate = reinterpret_cast<Generate*>(
        dlsym(library, std::strcmp(argv[2], "bmp") == 0 ? "GenerateBMPA" : "GeneratePNGA"));
    if (generate == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    generate(argv[3], argv[4], 1, 5, 0);
    dlclose(library);
    return 0;
}
