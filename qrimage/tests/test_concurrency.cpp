// The exports from 8 threads at once: each result must equal the single-threaded one, and colours
// set meanwhile show whole. Runs under ThreadSanitizer in `make test-hardening`.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "support.h"

namespace {

using namespace qrtest;

constexpr int kThreads = 8;

// body(thread, round) on each thread, at least once, for `seconds` or until false.
template <class Body>
void OnThreads(int seconds, Body body) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; body(t, round++) && std::chrono::steady_clock::now() < until;) {
            }
        });
    }
}  // the threads join here

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
    OnThreads(2, [&](int t, int) {
        const std::vector<std::string> outputs = Outputs(q, folder, t);
        const auto wrong = std::ranges::mismatch(outputs, expected[t]).in1 - outputs.begin();
        EXPECT_EQ(wrong, std::ssize(outputs)) << "that output differs on thread " << t;
        return wrong == std::ssize(outputs);
    });
    // Only the files named: no temporary file outlives its writer.
    EXPECT_EQ(folder.Entries().size(), std::size_t(2 * kThreads + 1));
}

// Half the threads set colours while the others draw: each picture is the one drawn alone in a set
// foreground and background (read once per picture), and a colour read is one that was set.
TEST(ConcurrentCallers, EachPictureHasOneSetColourPair) {
    const COLORREF foregrounds[] = {0xFF000000u, 0x12000080u},
                   backgrounds[] = {0xFFFFFFFFu, 0x3400FFFFu};
    const Library q;
    const auto draw = [&] {
        return FromBitmap(q, q.GetHBitmapW(u"one pair of colours, drawn at once", 1, 2, 3)).bgra;
    };
    std::set<std::string> pictures;
    for (int pair = 0; pair < 4; ++pair) {
        q.SetForegroundColor(foregrounds[pair % 2]);
        q.SetBackgroundColor(backgrounds[pair / 2]);
        pictures.insert(draw());
    }
    OnThreads(1, [&](int t, int i) {
        if (t % 2 == 0) {
            q.SetForegroundColor(foregrounds[i % 2]);
            q.SetBackgroundColor(backgrounds[(i + t / 2) / 2 % 2]);
            return true;
        }
        const bool whole = pictures.contains(draw()) &&
                           std::ranges::count(foregrounds, q.GetForegroundColor()) == 1;
        EXPECT_TRUE(whole) << "a picture or a colour read is not of the colours set";
        return whole;
    });
}

}  // namespace
