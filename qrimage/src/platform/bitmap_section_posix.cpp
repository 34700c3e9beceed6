// Bitmap sections on POSIX systems: the library's own stand-in for the
// platform's (bitmap_registry.h), with what DeleteObject and GetObjectW do to
// release and describe them.
#include <cstring>
#include <memory>
#include <optional>

#include "failure.h"
#include "platform/bitmap_registry.h"
#include "platform/bitmap_section.h"

namespace qrimage {

int32_t GetBitmapObject(HBITMAP handle, int32_t size, void* out) {
    const std::optional<DIBSECTION> section = DescribeBitmap(handle);
    if (!section) {
        RecordFailure(Failure::InvalidArgument);
        return 0;
    }
    // As the platform does: without a buffer, the size of the basic record;
    // otherwise the largest record that fits.
    if (out == nullptr) {
        return int32_t(sizeof(BITMAP));
    }
    if (size >= int32_t(sizeof(DIBSECTION))) {
        std::memcpy(out, &*section, sizeof(DIBSECTION));
        return int32_t(sizeof(DIBSECTION));
    }
    if (size >= int32_t(sizeof(BITMAP))) {
        std::memcpy(out, &section->dsBm, sizeof(BITMAP));
        return int32_t(sizeof(BITMAP));
    }
    RecordFailure(Failure::InvalidArgument);
    return 0;
}

int32_t DeleteBitmap(HBITMAP handle) {
    if (ReleaseBitmap(handle) == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return 0;
    }
    return 1;
}

HBITMAP MakeBitmapSection(const Picture& picture) {
    auto bitmap = std::make_unique<BitmapSection>();
    bitmap->header = SectionHeader(picture.geometry);
    bitmap->pixels =
        std::make_unique_for_overwrite<unsigned char[]>(picture.geometry.PictureBytes32());
    DrawPicture(picture, bitmap->pixels.get());
    return AdoptBitmap(std::move(bitmap));
}

}  // namespace qrimage
