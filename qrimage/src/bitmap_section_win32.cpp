// Bitmap sections on Windows: a GDI DIB section, which the caller releases
// with GDI's DeleteObject and reads with GetObjectW.
#include <windows.h>

#include "bitmap_section.h"

namespace qrimage {

HBITMAP MakeBitmapSection(const Picture& picture) {
    BITMAPINFO info{};
    info.bmiHeader = SectionHeader(picture.geometry);
    void* pixels = nullptr;
    const HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (section == nullptr || pixels == nullptr) {
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
