// Bitmap sections on POSIX systems: the library's stand-in for the
// platform's, a header and pixel memory behind an opaque HBITMAP, with
// DeleteObject and GetObjectW to release and describe them.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "bitmap_section.h"
#include "call_guard.h"

// What an HBITMAP points at: the header as the platform's bitmap sections
// keep it and the pixel memory, rows top row first.
struct QrImageBitmap {
    BITMAPINFOHEADER header;
    std::unique_ptr<unsigned char[]> pixels;
};

namespace qrimage {
namespace {

// Owns every bitmap handed out and not yet released, so that DeleteObject and
// GetObjectW can tell our handles from anything else and from handles
// released already. Safe to use from several threads.
class BitmapRegistry {
  public:
    HBITMAP Adopt(std::unique_ptr<QrImageBitmap> bitmap) {
        const HBITMAP handle = bitmap.get();
        const std::lock_guard lock(mutex_);
        bitmaps_.emplace(handle, std::move(bitmap));
        return handle;
    }

    // Takes the bitmap back, or returns null when the handle is not ours.
    // The caller frees it outside the lock.
    std::unique_ptr<QrImageBitmap> Release(HBITMAP handle) {
        const std::lock_guard lock(mutex_);
        auto node = bitmaps_.extract(handle);
        return node ? std::move(node.mapped()) : nullptr;
    }

    // The bitmap's description, or nullopt when the handle is not ours.
    std::optional<DIBSECTION> Describe(HBITMAP handle) {
        const std::lock_guard lock(mutex_);
        const auto found = bitmaps_.find(handle);
        if (found == bitmaps_.end()) {
            return std::nullopt;
        }
        const QrImageBitmap& bitmap = *found->second;
        DIBSECTION section{};
        section.dsBm.bmWidth = bitmap.header.biWidth;
        section.dsBm.bmHeight =
            bitmap.header.biHeight < 0 ? -bitmap.header.biHeight : bitmap.header.biHeight;
        section.dsBm.bmWidthBytes = bitmap.header.biWidth * 4;
        section.dsBm.bmPlanes = bitmap.header.biPlanes;
        section.dsBm.bmBitsPixel = bitmap.header.biBitCount;
        section.dsBm.bmBits = bitmap.pixels.get();
        section.dsBmih = bitmap.header;
        return section;
    }

  private:
    std::mutex mutex_;
    // Node-based: once every bitmap is released it holds no memory at all.
    std::map<HBITMAP, std::unique_ptr<QrImageBitmap>> bitmaps_;
};

// Built on first use and never destroyed: nothing runs when the library is
// unloaded or the process ends, so a late DeleteObject (from another
// thread, or a static destructor of the caller) still finds it.
BitmapRegistry& Registry() {
    union Immortal {
        Immortal() : registry() {}
        ~Immortal() {}
        BitmapRegistry registry;
    };
    static Immortal immortal;
    return immortal.registry;
}

int32_t DescribeBitmap(HBITMAP handle, int32_t size, void* out) {
    const std::optional<DIBSECTION> section = Registry().Describe(handle);
    if (!section) {
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
    return 0;
}

}  // namespace

HBITMAP MakeBitmapSection(const Picture& picture) {
    auto bitmap = std::make_unique<QrImageBitmap>();
    bitmap->header = SectionHeader(picture.geometry);
    bitmap->pixels =
        std::make_unique_for_overwrite<unsigned char[]>(picture.geometry.PictureBytes32());
    DrawPicture(picture, bitmap->pixels.get());
    return Registry().Adopt(std::move(bitmap));
}

}  // namespace qrimage

extern "C" {

QRIMAGE_API int32_t QRIMAGE_CALL DeleteObject(HBITMAP bitmap) {
    return qrimage::CallGuarded<int32_t>(
        0, [&] { return qrimage::Registry().Release(bitmap) != nullptr ? 1 : 0; });
}

QRIMAGE_API int32_t QRIMAGE_CALL GetObjectW(HBITMAP bitmap, int32_t size, void* out) {
    return qrimage::CallGuarded<int32_t>(
        0, [&] { return qrimage::DescribeBitmap(bitmap, size, out); });
}

}  // extern "C"
