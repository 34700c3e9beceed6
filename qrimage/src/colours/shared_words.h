// Where the two colour words live: the platform seam of the colours.
#pragma once

#include <atomic>
#include <cstdint>

namespace qrimage {

// The words must be lock-free and address-free to be shared between
// processes through a mapping.
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);

// The two colour words, background first, each holding colour XOR its
// default so that zero-filled memory means "the defaults". Shared between
// the processes of this user that have the same library file loaded, for as
// long as one of them has; process-local when no sharing can be had. Never
// null, aligned for std::atomic_ref; the pointer may change when the library
// is unloaded (values carried over), so read it anew for every access.
// Thread-safe.
uint32_t* ColourWords() noexcept;

}  // namespace qrimage
