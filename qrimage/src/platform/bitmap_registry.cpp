#include "platform/bitmap_registry.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace qrimage {
namespace {

class BitmapRegistry {
  public:
    HBITMAP Adopt(std::unique_ptr<BitmapSection> bitmap) {
        const std::lock_guard lock(mutex_);
        const uintptr_t number = ++lastNumber_;
        bitmaps_.emplace(number, std::move(bitmap));
        return reinterpret_cast<HBITMAP>(number);
    }

    std::unique_ptr<BitmapSection> Release(HBITMAP handle) {
        const std::lock_guard lock(mutex_);
        auto node = bitmaps_.extract(reinterpret_cast<uintptr_t>(handle));
        return node ? std::move(node.mapped()) : nullptr;
    }

    std::optional<DIBSECTION> Describe(HBITMAP handle) {
        const std::lock_guard lock(mutex_);
        const auto found = bitmaps_.find(reinterpret_cast<uintptr_t>(handle));
        if (found == bitmaps_.end()) {
            return std::nullopt;
        }
        const BitmapSection& bitmap = *found->second;
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
    // 64 bits on 64-bit hosts: counting never wraps in practice.
    uintptr_t lastNumber_ = 0;
    // Node-based: once every bitmap is released it holds no memory at all.
    std::map<uintptr_t, std::unique_ptr<BitmapSection>> bitmaps_;
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

}  // namespace

HBITMAP AdoptBitmap(std::unique_ptr<BitmapSection> bitmap) {
    return Registry().Adopt(std::move(bitmap));
}

std::unique_ptr<BitmapSection> ReleaseBitmap(HBITMAP handle) {
    return Registry().Release(handle);
}

std::optional<DIBSECTION> DescribeBitmap(HBITMAP handle) {
    return Registry().Describe(handle);
}

}  // namespace qrimage
