// A whole file written through AtomicFile, with the reason as a value: the
// tool's drawings and the window's copy of the library go through here.
#include "failure.h"
#include "file_replacement.h"

namespace qrimage {

uint32_t ReplaceFileWith(const NativeFileName& path, std::string_view bytes, Ownership ownership) {
    bool written = false;
    {
        // Brackets the replacement as an export is bracketed: reasons of
        // earlier calls are forgotten, and the first one recorded here is
        // left as the thread's error code.
        const ExportScope scope;
        std::optional<AtomicFile> file = AtomicFile::Open(path, 0, ownership);
        written = file && file->Write(bytes.data(), bytes.size()) && file->Commit();
    }
    return written ? 0 : CurrentSystemError();
}

}  // namespace qrimage
