#include "failing_allocator.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

// glibc's own allocator under its exported internal names: the replacements
// below forward to it, with no dlsym bootstrapping and no recursion.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace qrtest::allocation {
namespace {

// Blocks allocated in the window, by address: open addressing with linear
// probing in static storage, since the ledger cannot allocate.
constexpr std::size_t kLedgerSlots = std::size_t(1) << 16;
constexpr uintptr_t kEmpty = 0;
constexpr uintptr_t kRemoved = 1;

struct Slot {
    uintptr_t address;
    std::size_t size;
};

struct State {
    Slot ledger[kLedgerSlots];
    std::atomic<bool> open{false};
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    pthread_t thread{};
    uint64_t failAt = 0;
    uint64_t allocations = 0;
    bool injected = false;
    bool overflow = false;
};

State state;

class Locked {
  public:
    Locked() {
        while (state.busy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Locked() { state.busy.clear(std::memory_order_release); }
};

std::size_t SlotOf(uintptr_t address) {
    return std::size_t((address >> 4) * 0x9E3779B97F4A7C15ull) & (kLedgerSlots - 1);
}

void Remember(void* block, std::size_t size) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(block);
    for (std::size_t probe = 0, i = SlotOf(address); probe < kLedgerSlots;
         ++probe, i = (i + 1) & (kLedgerSlots - 1)) {
        if (state.ledger[i].address == kEmpty || state.ledger[i].address == kRemoved) {
            state.ledger[i] = Slot{address, size};
            return;
        }
    }
    state.overflow = true;
}

void Forget(void* block) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(block);
    for (std::size_t probe = 0, i = SlotOf(address); probe < kLedgerSlots;
         ++probe, i = (i + 1) & (kLedgerSlots - 1)) {
        if (state.ledger[i].address == kEmpty) {
            return;  // allocated before the window
        }
        if (state.ledger[i].address == address) {
            state.ledger[i].address = kRemoved;
            return;
        }
    }
}

// Counts an allocation of the window's thread; false when it is the one to
// fail.
bool MayAllocate() {
    if (!pthread_equal(pthread_self(), state.thread)) {
        return true;
    }
    if (++state.allocations == state.failAt) {
        state.injected = true;
        return false;
    }
    return true;
}

bool Watching() {
    return state.open.load(std::memory_order_acquire);
}

bool OnWindowThread() {
    return pthread_equal(pthread_self(), state.thread) != 0;
}

// Allocates through `allocate` with the window's bookkeeping.
template <class Allocate>
void* Allocation(std::size_t size, Allocate allocate) {
    if (!Watching()) {
        return allocate();
    }
    const Locked lock;
    if (!MayAllocate()) {
        errno = ENOMEM;
        return nullptr;
    }
    void* block = allocate();
    if (block != nullptr && OnWindowThread()) {
        Remember(block, size);
    }
    return block;
}

}  // namespace

void BeginWindow(uint64_t failAt) {
    const Locked lock;
    std::memset(state.ledger, 0, sizeof state.ledger);
    state.thread = pthread_self();
    state.failAt = failAt;
    state.allocations = 0;
    state.injected = false;
    state.overflow = false;
    state.open.store(true, std::memory_order_release);
}

WindowReport EndWindow() {
    const Locked lock;
    state.open.store(false, std::memory_order_release);
    WindowReport report;
    report.allocations = state.allocations;
    report.failureInjected = state.injected;
    report.ledgerOverflow = state.overflow;
    for (const Slot& slot : state.ledger) {
        if (slot.address != kEmpty && slot.address != kRemoved) {
            ++report.leakedBlocks;
            report.leakedBytes += slot.size;
        }
    }
    return report;
}

}  // namespace qrtest::allocation

using qrtest::allocation::Allocation;

extern "C" {

void* malloc(std::size_t size) noexcept {
    return Allocation(size, [&] { return __libc_malloc(size); });
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    return Allocation(count * size, [&] { return __libc_calloc(count, size); });
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    return Allocation(size, [&] { return __libc_memalign(alignment, size); });
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    return Allocation(size, [&] { return __libc_memalign(alignment, size); });
}

void* valloc(std::size_t size) noexcept {
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    return Allocation(size, [&] { return __libc_memalign(page, size); });
}

void* pvalloc(std::size_t size) noexcept {
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    const std::size_t rounded = (size + page - 1) / page * page;
    return Allocation(rounded, [&] { return __libc_memalign(page, rounded); });
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    void* block = Allocation(size, [&] { return __libc_memalign(alignment, size); });
    if (block == nullptr) {
        return ENOMEM;
    }
    *result = block;
    return 0;
}

void* realloc(void* block, std::size_t size) noexcept {
    using namespace qrtest::allocation;
    if (block == nullptr) {
        return malloc(size);
    }
    if (!Watching()) {
        return __libc_realloc(block, size);
    }
    const Locked lock;
    if (size != 0 && !MayAllocate()) {
        errno = ENOMEM;
        return nullptr;  // the block stays as it was
    }
    void* moved = __libc_realloc(block, size);
    if (moved != nullptr || size == 0) {
        // Moved, or freed by a zero size: the old block is gone either way.
        Forget(block);
        if (moved != nullptr && OnWindowThread()) {
            Remember(moved, size);
        }
    }
    return moved;
}

void free(void* block) noexcept {
    using namespace qrtest::allocation;
    if (block != nullptr && Watching()) {
        const Locked lock;
        Forget(block);
    }
    __libc_free(block);
}

}  // extern "C"
