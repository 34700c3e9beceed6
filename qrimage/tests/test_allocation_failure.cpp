// This program replaces malloc, calloc, realloc and free; for N = 1, 2, ... the N-th allocation of
// a call fails, until a call meets none. A failed call makes nothing (or the picture made without
// failures), leaves out-parameters, an existing file and the folder alone, frees all it allocated
// and sets errno to ENOMEM (leaves it when it made its picture). No sanitizers here.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "support.h"

// glibc's allocator under its exported internal names: no dlsym, no recursion.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
}

namespace {

// The watched call (no other thread runs): the allocation to fail; blocks allocated less freed.
struct Window {
    bool calling = false, counting = false;
    uint64_t failAt = 0, allocations = 0;
    int64_t live = 0;
    int error = 0;  // errno when the call returned
} window;

// Counts an allocation of the watched call: false for the one to fail.
bool MayAllocate() {
    const bool fail = window.calling && ++window.allocations == window.failAt;
    return fail ? (errno = ENOMEM, false) : true;
}

void* Counted(void* block) {
    window.live += window.counting && block != nullptr;
    return block;
}

// Ends the watched call; what follows releases what it made.
void Released() {
    window.error = errno;
    window.calling = false;
}

}  // namespace

// The replacements, all forwarding to glibc. A failed realloc keeps the block.
// clang-format off
extern "C" {
void* malloc(size_t n) noexcept { return MayAllocate() ? Counted(__libc_malloc(n)) : nullptr; }
void* calloc(size_t c, size_t n) noexcept { return MayAllocate() ? Counted(__libc_calloc(c, n)) : nullptr; }
void free(void* block) noexcept { window.live -= window.counting && block; __libc_free(block); }
void* realloc(void* block, size_t n) noexcept {
    if (block == nullptr || n == 0) {
        return block == nullptr ? malloc(n) : (free(block), nullptr);
    }
    return MayAllocate() ? __libc_realloc(block, n) : nullptr;
}
}  // extern "C"
// clang-format on

namespace {

constexpr int kUntouched = 0x7E57;  // errno before a call: success leaves it
const std::size_t kNothing = std::hash<std::string>()("");

TEST(AllocationFailure, EveryExportSurvivesEachFailedAllocation) {
    const qrtest::ScopedThreadLocale locale("C.UTF-8");  // the A texts are UTF-8
    const qrtest::TempFolder folder;
    const std::string target = folder / "picture", earlier = "an earlier file\n";
    const std::u16string wideTarget = qrtest::Wide(target);
    const char16_t *wf = wideTarget.c_str(), *w = u"Привет, QR 0123456789";  // file, text
    const char *af = target.c_str(), *a = "Привет, QR 0123456789";
    const int32_t m = 2, s = 3, l = 2;        // margin, module size, level
    QrImageOptions o = QRIMAGE_OPTIONS_INIT;  // the per-picture family's
    o.background = 0x00FFFFFFu;
    o.dpi = 300;
    // Each export, then what it made as bytes, released (DeleteObject, DestroyBuffer). The file
    // exports' parts, a name's and a text's conversion and each writer, are each met once.
    using Call = std::function<std::string(const qrtest::Library&)>;
    // clang-format off
    const std::pair<const char*, Call> exports[] = {
        {"GetHBitmapW", [&](auto& q) { auto h = q.GetHBitmapW(w, m, s, l); return Released(), FromBitmap(q, h).bgra; }},
        {"GetHBitmapA", [&](auto& q) { auto h = q.GetHBitmapA(a, m, s, l); return Released(), FromBitmap(q, h).bgra; }},
        {"GetPNGW", [&](auto& q) { return PngBlock(q, [&](auto... out) { q.GetPNGW(w, m, s, l, out...), Released(); }); }},
        {"GetPNGA", [&](auto& q) { return PngBlock(q, [&](auto... out) { q.GetPNGA(a, m, s, l, out...), Released(); }); }},
        {"GenerateBMPW", [&](auto& q) { return q.GenerateBMPW(wf, w, m, s, l), Released(), ""; }},
        {"GeneratePNGA", [&](auto& q) { return q.GeneratePNGA(af, a, m, s, l), Released(), ""; }},
        {"QrImageGetBlockW SVG", [&](auto& q) { return PngBlock(q, [&](auto... out) { q.QrImageGetBlockW(w, &o, QRIMAGE_SVG, out...), Released(); }); }},
        {"QrImageWriteFileW PNG", [&](auto& q) { return q.QrImageWriteFileW(wf, w, &o, QRIMAGE_PNG), Released(), ""; }},
    };
    // clang-format on

    for (const auto& [name, call] : exports) {
        call(qrtest::Library());  // process-wide one-time work (locale, iconv) is not the call's
        std::size_t expected = kNothing;  // what the call makes without failures (N = 0)
        uint64_t n = 0;
        for (; !testing::Test::HasFailure(); ++n) {
            // A fresh library copy (its one-time work is walked too), an earlier file.
            const std::string where = name + (", allocation " + std::to_string(n));
            const qrtest::Library library;
            qrtest::WriteFile(target, earlier);
            window = Window{.calling = true, .counting = true, .failAt = n};
            errno = kUntouched;
            // The bytes made are hashed and freed before counting ends.
            std::size_t made = std::hash<std::string>()(call(library));
            window.counting = false;
            EXPECT_EQ(window.live, 0) << where << ": blocks not freed";
            EXPECT_EQ(folder.Entries(), std::vector<std::string>{"picture"}) << where;
            if (const auto file = qrtest::ReadFile(target).value_or("gone"); file != earlier) {
                EXPECT_EQ(made, kNothing) << where << ": the earlier file was changed";
                made = std::hash<std::string>()(file);
            }
            EXPECT_EQ(window.error, made == kNothing ? ENOMEM : kUntouched) << where << ": errno";
            expected = n == 0 ? made : expected;
            const bool failed = n > 0 && window.allocations >= n;  // the N-th was made, and failed
            EXPECT_TRUE(made == kNothing ? failed : made == expected)
                << where << ": nothing made with no failure, or not what was made without";
            if (n > 0 && !failed) {
                break;
            }
        }
        ASSERT_FALSE(testing::Test::HasFailure()) << "the walk stopped at " << name;
    }
}

}  // namespace

// iconv loads its converter for a process's first narrow text, and says EINVAL for an allocation
// failing there. Each N runs in a fork of a process that has not converted yet (the death test's
// re-run of this program); its call makes the picture or fails with ENOMEM.
TEST(AllocationFailureDeathTest, TheFirstNarrowTextOfAProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto walk = [] {
        int outcome = 1;  // of the last N: 0 nothing failed, 1 survived, 2 wrong reason
        {
            const qrtest::Library library;
            for (uint64_t n = 1; outcome == 1 && n < 1000; ++n) {
                if (const pid_t child = fork(); child == 0) {
                    const qrtest::ScopedThreadLocale locale("C.UTF-8");
                    window = Window{.calling = true, .failAt = n};
                    errno = kUntouched;
                    const bool made = library.GetHBitmapA("QR", 1, 1, 0) != nullptr;
                    Released();
                    std::_Exit(window.allocations < n ? 0 : made || window.error == ENOMEM ? 1 : 2);
                }
                int status = 0;
                wait(&status);
                outcome = WIFEXITED(status) ? WEXITSTATUS(status) : 2;
                if (outcome == 2) {
                    std::fprintf(stderr, "allocation %d: not ENOMEM\n", int(n));
                }
            }
        }
        std::exit(outcome);
    };
    EXPECT_EXIT(walk(), testing::ExitedWithCode(0), "^$");
}
