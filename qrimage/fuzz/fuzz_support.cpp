#include "fuzz_support.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "colour_object_name.h"
#include "fuzz_model.h"

namespace qrfuzz {
namespace {

// The colour words of a library linked into an executable live in an object
// named after the executable; without this every build would leave one in
// /dev/shm.
void RemoveColourObject() {
    struct stat self {};
    if (stat("/proc/self/exe", &self) == 0) {
        shm_unlink(qrimage::ColourObjectName(geteuid(), self).c_str());
    }
}

void RemoveScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchFolder(), ignored);
}

}  // namespace

void InitialiseTarget() {
    InitialiseCharsets();
    umask(022);
    std::atexit(RemoveColourObject);
}

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qrimage-fuzz.XXXXXX";
        FUZZ_REQUIRE(mkdtemp(pattern.data()) != nullptr);
        return pattern;
    }();
    static const bool removal = std::atexit(RemoveScratchFolder) == 0;
    (void)removal;
    return folder;
}

}  // namespace qrfuzz
