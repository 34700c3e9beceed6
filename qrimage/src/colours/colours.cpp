#include "colours/colours.h"

#include <atomic>

#include "colours/shared_words.h"

namespace qrimage {
namespace {

constexpr uint32_t kDefaults[2] = {kDefaultBackground, kDefaultForeground};
constexpr int kBackground = 0;
constexpr int kForeground = 1;

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
