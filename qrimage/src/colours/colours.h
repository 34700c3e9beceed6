// The two colour words shared by every picture.
#pragma once

#include <cstdint>

namespace qrimage {

inline constexpr uint32_t kDefaultBackground = 0xFFFFFFFFu;
inline constexpr uint32_t kDefaultForeground = 0xFF000000u;

// Both colours, read once at the start of a picture: two separate loads, so
// a change made by another thread or process between them may reach the
// picture in one colour only.
struct Colours {
    uint32_t foreground;
    uint32_t background;
};

// Current colours. Thread-safe; each word is one atomic load or store.
Colours LoadColours() noexcept;

uint32_t LoadForeground() noexcept;
uint32_t LoadBackground() noexcept;
void StoreForeground(uint32_t colour) noexcept;
void StoreBackground(uint32_t colour) noexcept;

// The channels of a colour word (red in the lowest byte).
inline constexpr uint8_t Red(uint32_t colour) {
    return uint8_t(colour);
}
inline constexpr uint8_t Green(uint32_t colour) {
    return uint8_t(colour >> 8);
}
inline constexpr uint8_t Blue(uint32_t colour) {
    return uint8_t(colour >> 16);
}
// The highest byte: the opacity where a picture draws it (255 opaque).
inline constexpr uint8_t Alpha(uint32_t colour) {
    return uint8_t(colour >> 24);
}

}  // namespace qrimage
