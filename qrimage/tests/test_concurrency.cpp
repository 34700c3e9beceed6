// Every export from 8 threads at once, each with its own text, character set
// (LC_CTYPE), margin, module size and level, for 2 seconds: each result must
// equal the single-threaded one. Runs under ThreadSanitizer in `make
// test-hardening`.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "support.h"

namespace {

using namespace qrtest;

constexpr int kThreads = 8;

// A text as UTF-16 and in the character set of `locale`, and the arguments.
struct Job {
    const char16_t* wide;
    const char *narrow, *locale;
    int32_t margin, moduleSize, level;
};

#define BOTH(text) u##text, text
const Job kJobs[kThreads] = {
    {BOTH("Привет, мир"), "C.UTF-8", 1, 6, 0},
    {BOTH("QR код \U0001F600"), "C.UTF-8", 0, 9, 1},
    {BOTH("Длинный текст, with ASCII 0123456789 and more words, ещё слова"), "C.UTF-8", 2, 4, 2},
    {BOTH("ABCDEFGH 12345"), "C", 3, 7, 3},
    {u"Съешь же ещё", "\xd1\xfa\xe5\xf8\xfc \xe6\xe5 \xe5\xf9\xb8", "ru_RU.CP1251", 1, 5, 3},
    {u"Ёлка", "\xa8\xeb\xea\xe0", "ru_RU.CP1251", 4, 8, 0},
    {BOTH("plain ascii text"), "C", 0, 3, 1},
    {BOTH("31415926535897932384626433832795028841971"), "C", 2, 6, 2},
};
#undef BOTH

const char* const kOutputNames[] = {"GetHBitmapW",  "GetHBitmapA",  "GetPNGW",
                                    "GetPNGA",      "GenerateBMPW", "GenerateBMPA",
                                    "GeneratePNGW", "GeneratePNGA", "GeneratePNGW, shared file"};
constexpr std::size_t kOutputs = std::size(kOutputNames);

// Every export's result for one job, as bytes; empty when nothing came out.
std::vector<std::string> Outputs(const Library& q, const Job& j, const TempFolder& folder, int t) {
    const std::string prefix = folder / ("thread" + std::to_string(t)),
                      shared = folder / "shared.png";
    const int32_t m = j.margin, s = j.moduleSize, l = j.level;
    std::vector<std::string> out = {
        BitmapBytes(q, q.GetHBitmapW(j.wide, m, s, l)),
        BitmapBytes(q, q.GetHBitmapA(j.narrow, m, s, l)),
        PngBlock(q, [&](auto... png) { q.GetPNGW(j.wide, m, s, l, png...); }),
        PngBlock(q, [&](auto... png) { q.GetPNGA(j.narrow, m, s, l, png...); })};
    const std::string files[] = {prefix + ".w.bmp", prefix + ".a.bmp", prefix + ".w.png",
                                 prefix + ".a.png", shared};
    q.GenerateBMPW(Wide(files[0]).c_str(), j.wide, m, s, l);
    q.GenerateBMPA(files[1].c_str(), j.narrow, m, s, l);
    q.GeneratePNGW(Wide(files[2]).c_str(), j.wide, m, s, l);
    q.GeneratePNGA(files[3].c_str(), j.narrow, m, s, l);
    // One file every thread replaces with the same picture: a reader must
    // always find it whole, and no writer may take another's temporary file.
    q.GeneratePNGW(Wide(shared).c_str(), u"one file, many writers", 1, 2, 1);
    for (const std::string& file : files) {
        out.push_back(ReadFile(file).value_or(""));
    }
    return out;
}

template <class Body>
void OnThreads(Body body) {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(body, t);
    }
}  // the threads join here

TEST(ConcurrentCallers, EveryExportGivesTheSingleThreadedResult) {
    constexpr std::chrono::seconds kDuration{2};
    const Library q;
    const TempFolder folder;
    std::vector<std::vector<std::string>> expected;
    for (int t = 0; t < kThreads; ++t) {
        const ScopedThreadLocale locale(kJobs[t].locale);
        expected.push_back(Outputs(q, kJobs[t], folder, t));
        for (std::size_t o = 0; o < kOutputs; ++o) {
            ASSERT_FALSE(expected[t][o].empty()) << kOutputNames[o] << ", thread " << t;
        }
    }
    const auto until = std::chrono::steady_clock::now() + kDuration;
    std::array<std::atomic<int>, kOutputs> mismatches{};
    std::atomic<int> rounds{0};
    OnThreads([&](int t) {
        const ScopedThreadLocale locale(kJobs[t].locale);
        for (int round = 0; round == 0 || std::chrono::steady_clock::now() < until; ++round) {
            const auto outputs = Outputs(q, kJobs[t], folder, t);
            for (std::size_t o = 0; o < kOutputs; ++o) {
                mismatches[o] += outputs[o] != expected[t][o] ? 1 : 0;
            }
            ++rounds;
        }
    });
    for (std::size_t o = 0; o < kOutputs; ++o) {
        EXPECT_EQ(mismatches[o], 0)
            << kOutputNames[o] << " differs from the single-threaded result";
    }
    // Only the files named: no temporary file outlives its writer.
    EXPECT_EQ(folder.Entries().size(), std::size_t(4 * kThreads + 1));
    std::cout << "[ rounds   ] " << rounds << " rounds of every export on " << kThreads
              << " threads in " << kDuration.count() << " s\n";
}

// Half the threads set colours while the others draw: every picture shows the
// single-threaded pattern in one foreground and one background colour that
// were set (read once per picture, whole), and reading a colour gives one
// that was set.
TEST(ConcurrentCallers, EachPictureHasOneSetColourPair) {
    const std::array<COLORREF, 4> foregrounds = {0xFF000000u, 0x00FF0000u, 0x00008000u,
                                                 0x12000080u},
                                  backgrounds = {0xFFFFFFFFu, 0x00FFFF00u, 0x0000FFFFu,
                                                 0x34C0C0C0u};
    const auto pixel = [](COLORREF c) {
        return std::string{char(c >> 16), char(c >> 8), char(c), '\xFF'};
    };
    const Library q;
    const auto draw = [&] {
        return BitmapBytes(q, q.GetHBitmapW(u"one pair of colours, drawn at once", 1, 2, 3));
    };
    const std::string pattern = draw();  // black on white
    ASSERT_FALSE(pattern.empty());
    const auto isPairOfSetColours = [&](const std::string& picture) {
        std::string dark, light;  // the first pixel of each kind
        for (std::size_t at = 0; picture.size() == pattern.size() && at < pattern.size(); at += 4) {
            std::string& kind = pattern[at] == 0 ? dark : light;
            kind = kind.empty() ? picture.substr(at, 4) : kind;
            if (picture.compare(at, 4, kind) != 0) {
                return false;
            }
        }
        const auto among = [&](const auto& colours, const std::string& p) {
            return std::ranges::any_of(colours, [&](COLORREF c) { return pixel(c) == p; });
        };
        return among(foregrounds, dark) && among(backgrounds, light);
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    std::atomic<int> pictures{0}, wrong{0};
    OnThreads([&](int t) {
        for (std::size_t i = 0; std::chrono::steady_clock::now() < until; ++i) {
            if (t % 2 == 0) {
                q.SetForegroundColor(foregrounds[(i + t) % 4]);
                q.SetBackgroundColor(backgrounds[(i + t / 2) % 4]);
            } else {
                wrong += isPairOfSetColours(draw()) ? 0 : 1;
                wrong += std::ranges::count(foregrounds, q.GetForegroundColor()) == 1 ? 0 : 1;
                ++pictures;
            }
        }
    });
    EXPECT_EQ(wrong, 0) << "of " << pictures << " pictures";
}

// Handles released from all threads at once: each exactly once, and
// GetObjectW describes a handle only as it was made.
TEST(ConcurrentCallers, EachHandleIsReleasedExactlyOnce) {
    const Library q;
    std::vector<HBITMAP> handles(200);
    for (std::size_t i = 0; i < handles.size(); ++i) {
        ASSERT_NE(handles[i] = q.GetHBitmapW(u"abc", int32_t(i % 3), 1, 0), nullptr);
    }
    std::atomic<int> released{0}, misdescribed{0};
    OnThreads([&](int t) {
        for (std::size_t k = 0; k < handles.size(); ++k) {
            const std::size_t i = (k * 7 + std::size_t(t) * 25) % handles.size();
            BITMAP info{};
            const int32_t described = q.GetObjectW(handles[i], sizeof info, &info);
            misdescribed += described != 0 && info.bmWidth != int32_t(21 + 2 * (i % 3)) ? 1 : 0;
            released += q.DeleteObject(handles[i]) != 0 ? 1 : 0;
        }
    });
    EXPECT_EQ(released, int(handles.size()));
    EXPECT_EQ(misdescribed, 0);
}

}  // namespace
