// Where the two colour words live: one seam file per platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qrimage {

inline constexpr std::size_t kColourWordCount = 2;

// The colour words: shared by the processes of this user that have this
// library file loaded, or, when shared memory cannot be had, the process's
// own. Zero-filled memory means "the defaults" (colours.cpp stores colour XOR
// default). Aligned for std::atomic_ref<uint32_t>; never null. Thread-safe.
uint32_t* ColourWords() noexcept;

}  // namespace qrimage
