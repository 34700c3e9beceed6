#include "colours.h"

#include <atomic>

#include "call_guard.h"
#include "colour_words.h"
#include "qrimage.h"

namespace qrimage {
namespace {

// The words hold colour XOR default, so that zero-filled memory (a freshly
// created shared object, or static storage) already means "the defaults":
// nobody has to initialise the object, and so nobody can race to do it.
constexpr uint32_t kDefaults[2] = {kDefaultBackground, kDefaultForeground};
constexpr int kBackground = 0;
constexpr int kForeground = 1;

// The words must be lock-free and address-free to be shared between
// processes through a mapping.
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);

uint32_t Load(int index) noexcept {
    return std::atomic_ref<uint32_t>(ColourWords()[index]).load() ^ kDefaults[index];
}

void Store(int index, uint32_t colour) noexcept {
    std::atomic_ref<uint32_t>(ColourWords()[index]).store(colour ^ kDefaults[index]);
}

}  // namespace

Colours LoadColours() noexcept {
    return Colours{Load(kForeground), Load(kBackground)};
}
uint32_t LoadForeground() noexcept {
    return Load(kForeground);
}
uint32_t LoadBackground() noexcept {
    return Load(kBackground);
}
void StoreForeground(uint32_t colour) noexcept {
    Store(kForeground, colour);
}
void StoreBackground(uint32_t colour) noexcept {
    Store(kBackground, colour);
}

}  // namespace qrimage

extern "C" {

QRIMAGE_API void QRIMAGE_CALL SetForegroundColor(COLORREF colour) {
    qrimage::CallGuarded([colour] { qrimage::StoreForeground(colour); });
}

QRIMAGE_API COLORREF QRIMAGE_CALL GetForegroundColor(void) {
    return qrimage::CallGuarded<COLORREF>(qrimage::kDefaultForeground, qrimage::LoadForeground);
}

QRIMAGE_API void QRIMAGE_CALL SetBackgroundColor(COLORREF colour) {
    qrimage::CallGuarded([colour] { qrimage::StoreBackground(colour); });
}

QRIMAGE_API COLORREF QRIMAGE_CALL GetBackgroundColor(void) {
    return qrimage::CallGuarded<COLORREF>(qrimage::kDefaultBackground, qrimage::LoadBackground);
}

}  // extern "C"
