// Every export walked through allocation failures. For N = 1, 2, ... the N-th
// allocation of the call fails (in the library, libqrencode, libpng, zlib or
// iconv alike: see failing_allocator.h), until a call meets no failure. A
// call that met its failure must produce nothing, or exactly the picture made
// without failures; leave out-parameters and existing files untouched and no
// file behind; free every block it allocated; and return normally.
#include <gtest/gtest.h>
#include <qrimage.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "failing_allocator.h"
#include "library_copy.h"
#include "output_test_support.h"
#include "thread_locale.h"

namespace {

using qrtest::allocation::BeginWindow;
using qrtest::allocation::EndWindow;
using qrtest::allocation::WindowReport;

// No export comes near this; reaching it means the walk does not end.
constexpr uint64_t kMaxAllocationsPerCall = 20000;

// What one call did, gathered without allocating while the window is open.
struct Outcome {
    bool produced = false;
    const char* fault = nullptr;  // a broken promise, if any
};

struct WalkCase {
    std::string name;
    std::function<void()> prepare;            // before each call, outside the window
    std::function<Outcome()> call;            // the export, and the release of what it made
    std::function<Outcome(Outcome)> inspect;  // after the window: what the call left behind
};

// Walks one case. Returns the number of allocations of the call that met no
// failure, or nothing after the first broken promise (one report per case).
std::optional<uint64_t> Walk(const WalkCase& walk) {
    for (uint64_t failAt = 1; failAt <= kMaxAllocationsPerCall; ++failAt) {
        if (walk.prepare) {
            walk.prepare();
        }
        BeginWindow(failAt);
        Outcome outcome = walk.call();
        const WindowReport report = EndWindow();
        if (walk.inspect) {
            outcome = walk.inspect(outcome);
        }
        const std::string where = walk.name + " with allocation " + std::to_string(failAt) +
                                  (report.failureInjected ? " failing" : " (none failed)");
        const bool sound = !report.ledgerOverflow && outcome.fault == nullptr &&
                           report.leakedBlocks == 0 && (report.failureInjected || outcome.produced);
        EXPECT_FALSE(report.ledgerOverflow) << where;
        EXPECT_TRUE(outcome.fault == nullptr) << where << ": " << outcome.fault;
        EXPECT_EQ(report.leakedBlocks, 0u) << where << ": " << report.leakedBytes << " bytes in "
                                           << report.leakedBlocks << " blocks not freed";
        EXPECT_TRUE(report.failureInjected || outcome.produced) << where << ": nothing produced";
        if (!sound) {
            return std::nullopt;
        }
        if (!report.failureInjected) {
            return report.allocations;
        }
    }
    ADD_FAILURE() << walk.name << " made more than " << kMaxAllocationsPerCall << " allocations";
    return std::nullopt;
}

const char16_t* const kWideText = u"Привет, QR 0123456789";
const char* const kNarrowText = "Привет, QR 0123456789";  // UTF-8, read under C.UTF-8
constexpr int32_t kMargin = 2;
constexpr int32_t kModuleSize = 3;
constexpr int32_t kLevel = 2;
const std::string kEarlierContent = "an earlier file that a failed call must leave alone\n";

class AllocationFailure : public ::testing::Test {
  protected:
    qrtest::LibraryCopy library;
    qrtest::TempFolder folder;
    qrtest::ScopedThreadLocale locale{"C.UTF-8"};

    decltype(&GetHBitmapW) getHBitmapW = QRTEST_EXPORT(library, GetHBitmapW);
    decltype(&GetHBitmapA) getHBitmapA = QRTEST_EXPORT(library, GetHBitmapA);
    decltype(&GetObjectW) getObjectW = QRTEST_EXPORT(library, GetObjectW);
    decltype(&DeleteObject) deleteObject = QRTEST_EXPORT(library, DeleteObject);
    decltype(&GetPNGW) getPngW = QRTEST_EXPORT(library, GetPNGW);
    decltype(&GetPNGA) getPngA = QRTEST_EXPORT(library, GetPNGA);
    decltype(&DestroyBuffer) destroyBuffer = QRTEST_EXPORT(library, DestroyBuffer);
    decltype(&GenerateBMPW) generateBmpW = QRTEST_EXPORT(library, GenerateBMPW);
    decltype(&GenerateBMPA) generateBmpA = QRTEST_EXPORT(library, GenerateBMPA);
    decltype(&GeneratePNGW) generatePngW = QRTEST_EXPORT(library, GeneratePNGW);
    decltype(&GeneratePNGA) generatePngA = QRTEST_EXPORT(library, GeneratePNGA);
    decltype(&SetForegroundColor) setForeground = QRTEST_EXPORT(library, SetForegroundColor);
    decltype(&GetForegroundColor) getForeground = QRTEST_EXPORT(library, GetForegroundColor);
    decltype(&SetBackgroundColor) setBackground = QRTEST_EXPORT(library, SetBackgroundColor);
    decltype(&GetBackgroundColor) getBackground = QRTEST_EXPORT(library, GetBackgroundColor);

    // The pixel memory of a bitmap handle, copied.
    std::vector<unsigned char> Pixels(HBITMAP bitmap) {
        DIBSECTION section{};
        EXPECT_EQ(getObjectW(bitmap, sizeof section, &section), int32_t(sizeof section));
        const auto* bits = static_cast<const unsigned char*>(section.dsBm.bmBits);
        return {bits, bits + std::size_t(section.dsBm.bmWidthBytes) * section.dsBm.bmHeight};
    }

    std::string PngBlock(const std::function<void(uint32_t*, unsigned char**)>& getPng) {
        uint32_t size = 0;
        unsigned char* buffer = nullptr;
        getPng(&size, &buffer);
        EXPECT_NE(buffer, nullptr);
        std::string bytes(reinterpret_cast<const char*>(buffer), size);
        destroyBuffer(buffer);
        return bytes;
    }

    // A bitmap export: the handle's pixels must equal `expected`.
    WalkCase BitmapCase(std::string name, std::function<HBITMAP()> make,
                        const std::vector<unsigned char>& expected) {
        return {std::move(name), nullptr,
                [this, make, &expected] {
                    Outcome outcome;
                    const HBITMAP bitmap = make();
                    if (bitmap == nullptr) {
                        return outcome;
                    }
                    outcome.produced = true;
                    DIBSECTION section{};
                    if (getObjectW(bitmap, sizeof section, &section) != int32_t(sizeof section)) {
                        outcome.fault = "GetObjectW does not know the new handle";
                    } else if (std::size_t(section.dsBm.bmWidthBytes) * section.dsBm.bmHeight !=
                                   expected.size() ||
                               std::memcmp(section.dsBm.bmBits, expected.data(), expected.size()) !=
                                   0) {
                        outcome.fault = "the picture differs from the one made without failures";
                    }
                    if (deleteObject(bitmap) == 0) {
                        outcome.fault = "DeleteObject refused the new handle";
                    }
                    return outcome;
                },
                nullptr};
    }

    // A PNG block export: out-parameters untouched, or the expected bytes.
    WalkCase PngBlockCase(std::string name, std::function<void(uint32_t*, unsigned char**)> getPng,
                          const std::string& expected) {
        return {std::move(name), nullptr,
                [this, getPng, &expected] {
                    static unsigned char sentinel = 0;
                    uint32_t size = 0xC0FFEE11u;
                    unsigned char* buffer = &sentinel;
                    getPng(&size, &buffer);
                    Outcome outcome;
                    if (buffer == &sentinel) {
                        if (size != 0xC0FFEE11u) {
                            outcome.fault = "pngSize written although no PNG was made";
                        }
                        return outcome;
                    }
                    outcome.produced = true;
                    if (size != expected.size() ||
                        std::memcmp(buffer, expected.data(), expected.size()) != 0) {
                        outcome.fault = "the PNG differs from the one made without failures";
                    }
                    destroyBuffer(buffer);
                    return outcome;
                },
                nullptr};
    }

    // A file export writing `target` (new, or replacing an earlier file):
    // afterwards the folder holds the earlier file as it was (same inode,
    // content and mode), or the expected file, and nothing else.
    WalkCase FileCase(std::string name, std::function<void(const std::string&)> write,
                      const std::string& expected, bool replacing) {
        const std::string target = folder / "picture";
        auto earlierInode = std::make_shared<ino_t>(0);
        return {std::move(name),
                [this, target, replacing, earlierInode] {
                    std::filesystem::remove_all(target);
                    if (replacing) {
                        qrtest::WriteFile(target, kEarlierContent);
                        chmod(target.c_str(), 0640);
                        struct stat status {};
                        stat(target.c_str(), &status);
                        *earlierInode = status.st_ino;
                    }
                },
                [write, target] {
                    write(target);
                    return Outcome{};
                },
                [this, target, expected, replacing, earlierInode](Outcome outcome) {
                    const std::vector<std::string> entries = folder.Entries();
                    const std::optional<std::string> content = qrtest::ReadFile(target);
                    struct stat status {};
                    const bool exists = stat(target.c_str(), &status) == 0;
                    if (entries.size() > (exists ? 1u : 0u)) {
                        outcome.fault = "a file besides the target in the folder";
                        for (const std::string& entry : entries) {
                            std::cout << "  left in the folder: " << entry << "\n";
                        }
                    } else if (!exists) {
                        outcome.fault = replacing ? "the earlier file is gone" : nullptr;
                    } else if (content == expected) {
                        outcome.produced = true;
                        if ((status.st_mode & 07777) != (replacing ? 0640u : 0644u)) {
                            outcome.fault = "the new file has the wrong permission bits";
                        }
                    } else if (!replacing) {
                        outcome.fault = "a file that is not the expected picture";
                    } else if (content != kEarlierContent || status.st_ino != *earlierInode ||
                               (status.st_mode & 07777) != 0640u) {
                        outcome.fault = "the earlier file was changed";
                    }
                    return outcome;
                }};
    }
};

TEST_F(AllocationFailure, EveryExportSurvivesEachFailedAllocation) {
    const mode_t previousUmask = umask(022);

    // The results made without failures, which also warms every one-time
    // cache (locale data, iconv modules, the colour words) up.
    HBITMAP bitmap = getHBitmapW(kWideText, kMargin, kModuleSize, kLevel);
    ASSERT_NE(bitmap, nullptr);
    const std::vector<unsigned char> pixels = Pixels(bitmap);
    deleteObject(bitmap);
    bitmap = getHBitmapA(kNarrowText, kMargin, kModuleSize, kLevel);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(Pixels(bitmap), pixels);
    deleteObject(bitmap);
    const auto pngW = [&](uint32_t* size, unsigned char** buffer) {
        getPngW(kWideText, kMargin, kModuleSize, kLevel, size, buffer);
    };
    const auto pngA = [&](uint32_t* size, unsigned char** buffer) {
        getPngA(kNarrowText, kMargin, kModuleSize, kLevel, size, buffer);
    };
    const std::string png = PngBlock(pngW);
    ASSERT_EQ(PngBlock(pngA), png);  // UTF-8 bytes: GetPNGA encodes the same
    generateBmpW(std::u16string(qrtest::Wide(folder / "baseline.bmp")).c_str(), kWideText, kMargin,
                 kModuleSize, kLevel);
    const std::optional<std::string> bmp = qrtest::ReadFile(folder / "baseline.bmp");
    ASSERT_TRUE(bmp.has_value());
    std::filesystem::remove(folder / "baseline.bmp");

    const std::u16string wideTarget = qrtest::Wide(folder / "picture");
    const auto bmpW = [&](const std::string&) {
        generateBmpW(wideTarget.c_str(), kWideText, kMargin, kModuleSize, kLevel);
    };
    const auto bmpA = [&](const std::string& target) {
        generateBmpA(target.c_str(), kNarrowText, kMargin, kModuleSize, kLevel);
    };
    const auto filePngW = [&](const std::string&) {
        generatePngW(wideTarget.c_str(), kWideText, kMargin, kModuleSize, kLevel);
    };
    const auto filePngA = [&](const std::string& target) {
        generatePngA(target.c_str(), kNarrowText, kMargin, kModuleSize, kLevel);
    };

    HBITMAP described = nullptr;
    unsigned char* block = nullptr;
    uint32_t blockSize = 0;
    std::vector<WalkCase> cases = {
        BitmapCase(
            "GetHBitmapW", [&] { return getHBitmapW(kWideText, kMargin, kModuleSize, kLevel); },
            pixels),
        BitmapCase(
            "GetHBitmapA", [&] { return getHBitmapA(kNarrowText, kMargin, kModuleSize, kLevel); },
            pixels),
        PngBlockCase("GetPNGW", pngW, png),
        PngBlockCase("GetPNGA", pngA, png),
        FileCase("GenerateBMPW, new file", bmpW, *bmp, false),
        FileCase("GenerateBMPW, replacing", bmpW, *bmp, true),
        FileCase("GenerateBMPA, new file", bmpA, *bmp, false),
        FileCase("GenerateBMPA, replacing", bmpA, *bmp, true),
        FileCase("GeneratePNGW, new file", filePngW, png, false),
        FileCase("GeneratePNGW, replacing", filePngW, png, true),
        FileCase("GeneratePNGA, new file", filePngA, png, false),
        FileCase("GeneratePNGA, replacing", filePngA, png, true),
        {"GetObjectW", [&] { described = getHBitmapW(kWideText, kMargin, kModuleSize, kLevel); },
         [&] {
             DIBSECTION section{};
             return Outcome{getObjectW(described, sizeof section, &section) ==
                            int32_t(sizeof section)};
         },
         [&](Outcome outcome) {
             deleteObject(described);
             return outcome;
         }},
        {"DeleteObject", [&] { described = getHBitmapW(kWideText, kMargin, kModuleSize, kLevel); },
         [&] { return Outcome{deleteObject(described) != 0}; }, nullptr},
        {"DestroyBuffer", [&] { pngW(&blockSize, &block); },
         [&] {
             destroyBuffer(block);
             return Outcome{true};
         },
         nullptr},
        {"SetForegroundColor and GetForegroundColor", nullptr,
         [&] {
             setForeground(0x12345678u);
             const bool stored = getForeground() == 0x12345678u;
             setForeground(0xFF000000u);
             return Outcome{stored};
         },
         nullptr},
        {"SetBackgroundColor and GetBackgroundColor", nullptr,
         [&] {
             setBackground(0x00FF0000u);
             const bool stored = getBackground() == 0x00FF0000u;
             setBackground(0xFFFFFFFFu);
             return Outcome{stored};
         },
         nullptr},
    };

    for (const WalkCase& walk : cases) {
        if (const std::optional<uint64_t> allocations = Walk(walk)) {
            std::cout << "[ walked   ] " << walk.name << ": " << *allocations
                      << " allocations, each made to fail once\n";
        }
    }
    umask(previousUmask);
}

// The first use of the colours in a process attaches the shared words;
// when an allocation fails there, the colours still work (process-local).
// Each step runs in a child process, since the attachment happens once.
TEST(AllocationFailureFirstColourUse, FallsBackAndKeepsWorking) {
    qrtest::LibraryCopy library;  // its colours are not used in this process
    const auto getForeground = QRTEST_EXPORT(library, GetForegroundColor);
    const auto setForeground = QRTEST_EXPORT(library, SetForegroundColor);
    for (uint64_t failAt = 1; failAt <= 1000; ++failAt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            BeginWindow(failAt);
            const bool defaults = getForeground() == 0xFF000000u;
            setForeground(0x00ABCDEFu);
            const bool stored = getForeground() == 0x00ABCDEFu;
            const WindowReport report = EndWindow();
            _exit((defaults && stored ? 0 : 1) | (report.leakedBlocks != 0 ? 2 : 0) |
                  (report.failureInjected ? 4 : 0));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "allocation " << failAt << " ended the process";
        const int result = WEXITSTATUS(status);
        EXPECT_EQ(result & 1, 0) << "allocation " << failAt << ": the colours did not work";
        EXPECT_EQ(result & 2, 0) << "allocation " << failAt << ": blocks not freed";
        if ((result & 4) == 0 || ::testing::Test::HasFailure()) {
            std::cout << "[ walked   ] first colour use: " << failAt - 1
                      << " allocations, each made to fail once\n";
            return;
        }
    }
    FAIL() << "the first colour use made more than 1000 allocations";
}

}  // namespace
