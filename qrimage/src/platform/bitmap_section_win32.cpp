// Bitmap sections on Windows: a GDI DIB section, which the caller reads with
// GetObjectW and releases with GDI's DeleteObject.
#include <windows.h>

#include "failure.h"
#include "platform/bitmap_section.h"

namespace qrimage {

HBITMAP MakeBitmapSection(const Picture& picture) {
    BITMAPINFO info{};
    info.bmiHeader = SectionHeader(picture.geometry);
    void* pixels = nullptr;
    const HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (section == nullptr || pixels == nullptr) {
        // GDI gives no reason of its own for most failures: its usual one is
        // a lack of memory.
        RecordFailure(Failure::OutOfMemory);
        if (section != nullptr) {
            DeleteObject(section);
        }
        return nullptr;
    }
    try {
        DrawPicture(picture, static_cast<unsigned char*>(pixels));
    } catch (...) {
        DeleteObject(section);
        throw;
    }
    GdiFlush();  // the pixels are complete before any GDI call reads them
    return section;
}

}  // namespace qrimage
