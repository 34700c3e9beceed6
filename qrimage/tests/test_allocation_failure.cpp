// Every export walked through allocation failures: this program replaces
// malloc and its relatives for the whole process (library, libqrencode, libpng,
// zlib, iconv, operator new), and for N = 1, 2, ... the N-th allocation of a
// call fails, until a call meets none. A failed call must produce nothing (or
// the picture made without failures), leave out-parameters, an existing file
// and the folder alone, free all it allocated, set errno to ENOMEM (or leave
// it alone when it made its picture), and return. No sanitizers here.
#include <gtest/gtest.h>
#include <pthread.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iostream>

#include "support.h"

// glibc's allocator under its exported internal names: no dlsym, no recursion.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

constexpr int kUntouched = 0x7E57;  // errno before a call: success leaves it

// One watched call on one thread: which allocation fails, and the blocks it
// allocated that are still live. Static storage, since it cannot allocate.
struct Window {
    bool open = false, injected = false;
    pthread_t thread{};
    uint64_t failAt = 0, allocations = 0;
    std::size_t liveCount = 0;
    std::array<void*, 4096> live{};
    bool Watched() const { return open && pthread_equal(pthread_self(), thread); }
} window;

// Counts an allocation of the watched call: false for the one to fail.
bool MayAllocate() {
    const bool fail = window.Watched() && ++window.allocations == window.failAt;
    window.injected |= fail;
    return fail ? (errno = ENOMEM, false) : true;
}

void* Track(void* block) {
    if (block != nullptr && window.Watched()) {
        window.live.at(window.liveCount++) = block;  // beyond 4096 live blocks: ends the test
    }
    return block;
}

void Untrack(void* block) {
    void** const end = window.live.begin() + window.liveCount;
    if (void** found = std::find(window.live.begin(), end, block); window.open && found != end) {
        *found = window.live[--window.liveCount];
    }
}

}  // namespace

// The replacements, all forwarding to glibc. A failed realloc keeps the block.
// clang-format off
extern "C" {
void* malloc(size_t n) noexcept { return MayAllocate() ? Track(__libc_malloc(n)) : nullptr; }
void* calloc(size_t c, size_t n) noexcept { return MayAllocate() ? Track(__libc_calloc(c, n)) : nullptr; }
void* memalign(size_t a, size_t n) noexcept { return MayAllocate() ? Track(__libc_memalign(a, n)) : nullptr; }
void* aligned_alloc(size_t a, size_t n) noexcept { return memalign(a, n); }
int posix_memalign(void** p, size_t a, size_t n) noexcept { return (*p = memalign(a, n)) ? 0 : ENOMEM; }
void* realloc(void* block, size_t n) noexcept {
    if (block == nullptr || (n != 0 && !MayAllocate())) {
        return block == nullptr ? malloc(n) : nullptr;
    }
    void* moved = __libc_realloc(block, n);
    if (moved != nullptr || n == 0) {  // the old block is gone
        Untrack(block);
        Track(moved);
    }
    return moved;
}
void free(void* block) noexcept { Untrack(block); __libc_free(block); }
}  // extern "C"
// clang-format on

namespace {

// What a call produced, copied to static storage while the window is open;
// `fault` names a broken promise. Calls below never allocate for the test.
std::array<char, 1 << 20> produced;
struct Result {
    std::size_t size = 0;  // 0: nothing produced
    const char* fault = nullptr;
};

Result Keep(const void* bytes, std::size_t size) {
    std::memcpy(produced.data(), bytes, std::min(size, produced.size()));
    return {size, size > produced.size() ? "too large for the test's buffer" : nullptr};
}

// A handle's pixels; GetObjectW and DeleteObject are walked with it.
Result Bitmap(const qrtest::Library& q, HBITMAP bitmap) {
    DIBSECTION s{};
    if (bitmap == nullptr || q.GetObjectW(bitmap, sizeof s, &s) != int32_t(sizeof s)) {
        return {0, bitmap == nullptr ? nullptr : "GetObjectW refused a new handle"};
    }
    const Result result = Keep(s.dsBm.bmBits, std::size_t(s.dsBm.bmWidthBytes) * s.dsBm.bmHeight);
    return q.DeleteObject(bitmap) != 0 ? result : Result{0, "DeleteObject refused a handle"};
}

// A PNG block; DestroyBuffer is walked with it. A template, since a
// std::function of the caller's lambda could allocate.
template <class GetPng>
Result Png(const qrtest::Library& q, GetPng get) {
    static unsigned char sentinel;
    uint32_t size = 0xC0FFEE11u;
    unsigned char* buffer = &sentinel;
    get(&size, &buffer);
    if (buffer == &sentinel) {
        return {0, size != 0xC0FFEE11u ? "pngSize written, no PNG made" : nullptr};
    }
    const Result result = Keep(buffer, size);
    q.DestroyBuffer(buffer);
    return result;
}

TEST(AllocationFailure, EveryExportSurvivesEachFailedAllocation) {
    const qrtest::ScopedThreadLocale locale("C.UTF-8");  // the A texts are UTF-8
    const qrtest::TempFolder folder;
    const std::string target = folder / "picture", earlier = "an earlier file\n";
    const std::u16string wideTarget = qrtest::Wide(target);
    const char16_t *wf = wideTarget.c_str(), *w = u"Привет, QR 0123456789";  // file, text
    const char *af = target.c_str(), *a = "Привет, QR 0123456789";
    const int32_t m = 2, s = 3, l = 2;  // margin, module size, level
    using Call = std::function<Result(const qrtest::Library&)>;
    // clang-format off
    const std::pair<const char*, Call> exports[] = {
        {"GetHBitmapW", [&](auto& q) { return Bitmap(q, q.GetHBitmapW(w, m, s, l)); }},
        {"GetHBitmapA", [&](auto& q) { return Bitmap(q, q.GetHBitmapA(a, m, s, l)); }},
        {"GetPNGW",
         [&](auto& q) { return Png(q, [&](auto... out) { q.GetPNGW(w, m, s, l, out...); }); }},
        {"GetPNGA",
         [&](auto& q) { return Png(q, [&](auto... out) { q.GetPNGA(a, m, s, l, out...); }); }},
        {"GenerateBMPW", [&](auto& q) { return q.GenerateBMPW(wf, w, m, s, l), Result{}; }},
        {"GenerateBMPA", [&](auto& q) { return q.GenerateBMPA(af, a, m, s, l), Result{}; }},
        {"GeneratePNGW", [&](auto& q) { return q.GeneratePNGW(wf, w, m, s, l), Result{}; }},
        {"GeneratePNGA", [&](auto& q) { return q.GeneratePNGA(af, a, m, s, l), Result{}; }},
        // The first colour call of a copy attaches the shared words; when
        // that fails, the colours must still work (process-locally).
        {"Set/Get colours", [&](auto& q) {
             q.SetForegroundColor(0x12345678u);
             q.SetBackgroundColor(0x00FF0000u);
             const uint32_t both[] = {q.GetForegroundColor(), q.GetBackgroundColor()};
             return Keep(both, sizeof both); }},
    };
    // clang-format on

    // One call on a fresh library copy (its one-time work is walked too)
    // next to an earlier file; returns what it produced.
    const auto run = [&](const Call& call, uint64_t failAt, const std::string& where) {
        const qrtest::Library library;
        qrtest::WriteFile(target, earlier);
        window = Window{true, false, pthread_self(), failAt};
        errno = kUntouched;
        const Result result = call(library);
        const int error = errno;
        window.open = false;
        EXPECT_EQ(window.liveCount, 0u) << where << ": blocks not freed";
        EXPECT_EQ(result.fault, nullptr) << where << ": " << result.fault;
        EXPECT_EQ(folder.Entries(), std::vector<std::string>{"picture"}) << where;
        std::optional<std::string> output =
            result.size != 0 ? std::optional(std::string(produced.data(), result.size))
                             : std::nullopt;
        if (const std::string file = qrtest::ReadFile(target).value_or("(gone)"); file != earlier) {
            EXPECT_FALSE(output.has_value()) << where << ": the earlier file was changed";
            output = file;
        }
        EXPECT_EQ(error, output ? kUntouched : ENOMEM) << where << ": errno";
        return output;
    };

    for (const auto& [name, call] : exports) {
        call(qrtest::Library());  // process-wide one-time work (locale, iconv) is not the call's
        const std::optional<std::string> expected = run(call, 0, name);
        ASSERT_TRUE(expected.has_value()) << name << " produced nothing without failures";
        uint64_t n = 1;
        for (; !testing::Test::HasFailure(); ++n) {
            const std::string where = name + (", allocation " + std::to_string(n));
            const std::optional<std::string> output = run(call, n, where);
            EXPECT_TRUE(!output || output == expected) << where << ": not the picture made without";
            if (!window.injected) {
                EXPECT_TRUE(output.has_value()) << where << ": nothing produced, no failure met";
                break;
            }
        }
        ASSERT_FALSE(testing::Test::HasFailure()) << "the walk stopped at " << name;
        std::cout << "[ walked   ] " << name << ": " << n - 1 << " allocations\n";
    }
}

}  // namespace
