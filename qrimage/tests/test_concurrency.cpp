// The exports from 8 threads at once: each result must equal the single-threaded one. Runs under
// ThreadSanitizer in `make test-hardening`.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support.h"

namespace {

using namespace qrtest;

constexpr int kThreads = 8;

// A text as UTF-16 and in the character set of `locale`.
struct Text {
    const char16_t* wide;
    const char *narrow, *locale;
};
const Text kTexts[] = {
    {u"Привет, мир", "Привет, мир", "C.UTF-8"},
    {u"QR код \U0001F600", "QR код \U0001F600", "C.UTF-8"},
    {u"Съешь же ещё", "\xd1\xfa\xe5\xf8\xfc \xe6\xe5 \xe5\xf9\xb8", "ru_RU.CP1251"},
    {u"ABCDEFGH 12345", "ABCDEFGH 12345", "C"},
};

// Thread t's results as bytes ("" for none): GetHBitmapW/A, GetPNGW, QrImageGetBlockW with its own
// options and format, the files of GenerateBMPW, GeneratePNGW and GeneratePNGW into a shared file.
std::vector<std::string> Outputs(const Library& q, const TempFolder& folder, int t) {
    const Text& j = kTexts[t % std::size(kTexts)];
    const ScopedThreadLocale locale(j.locale);
    const int32_t m = t % 3, s = 2 + t, l = t % 4;  // margin, module size, level
    const std::string files[] = {folder / ("thread" + std::to_string(t) + ".bmp"),
                                 folder / ("thread" + std::to_string(t) + ".png"),
                                 folder / "shared"};
    q.GenerateBMPW(Wide(files[0]).c_str(), j.wide, m, s, l);
    q.GeneratePNGW(Wide(files[1]).c_str(), j.wide, m, s, l);
    // One picture from every thread: always found whole, no writer taking another's temporary file.
    q.GeneratePNGW(Wide(files[2]).c_str(), u"one file, many writers", 1, 2, 1);
    QrImageOptions o = QRIMAGE_OPTIONS_INIT;
    o.margin = m;
    o.micro = t % 4 == 1;
    o.level = o.micro ? 0 : l;  // "own options" fits M4 at L
    o.foreground = 0xFF000000u | (0x1F1F1Fu * uint32_t(t));
    o.background = t % 2 == 0 ? 0x00FFFFFFu : 0xFFE0F0FFu;
    o.dpi = uint32_t(72 * t);
    std::vector<std::string> out = {
        FromBitmap(q, q.GetHBitmapW(j.wide, m, s, l)).bgra,
        FromBitmap(q, q.GetHBitmapA(j.narrow, m, s, l)).bgra,
        PngBlock(q, [&](auto... png) { q.GetPNGW(j.wide, m, s, l, png...); }),
        PngBlock(q, [&](auto... block) {
            q.QrImageGetBlockW(reinterpret_cast<const qrimage_char16*>(u"own options"), &o,
                               QRIMAGE_PNG + t % 4, block...);
        })};
    for (const std::string& file : files) {
        out.push_back(ReadFile(file).value_or(""));
    }
    return out;
}

TEST(ConcurrentCallers, EveryExportGivesTheSingleThreadedResult) {
    const Library q;
    const TempFolder folder;
    std::vector<std::vector<std::string>> expected;
    for (int t = 0; t < kThreads; ++t) {
        expected.push_back(Outputs(q, folder, t));
        ASSERT_EQ(std::ranges::count(expected[t], ""), 0) << "thread " << t;
    }
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (bool same = true; same && std::chrono::steady_clock::now() < until;) {
                    const std::vector<std::string> outputs = Outputs(q, folder, t);
                    const auto wrong = std::ranges::mismatch(outputs, expected[t]).in1;
                    same = wrong == outputs.end();
                    EXPECT_TRUE(same) << "output " << wrong - outputs.begin() << ", thread " << t;
                }
            });
        }
    }  // the threads join here
    // Only the files named: no temporary file outlives its writer.
    EXPECT_EQ(folder.Entries().size(), std::size_t(2 * kThreads + 1));
}

}  // namespace
