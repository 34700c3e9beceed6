// Every export called from 8 threads at once, each thread with its own text,
// character set, margin, module size and level, for a few seconds
// (QRIMAGE_CONCURRENCY_SECONDS, default 3). Every result must equal the one
// the same call made on a single thread. First with steady colours, then
// while the threads keep changing the colours: each picture must then equal
// the single-threaded picture for one of the colour pairs the words can
// hold, never a mix. Run under ThreadSanitizer by `make test-hardening`.
#include <gtest/gtest.h>
#include <iconv.h>
#include <qrimage.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "library_copy.h"
#include "output_test_support.h"
#include "thread_locale.h"

namespace {

constexpr int kThreads = 8;

// The two values each colour word takes while the colours change.
constexpr std::array<uint32_t, 2> kForegrounds = {0xFF000000u, 0x00FF0000u};
constexpr std::array<uint32_t, 2> kBackgrounds = {0xFFFFFFFFu, 0x0000FFFFu};
constexpr int kColourPairs = 4;  // index: foreground choice | background choice << 1

// The outputs of one thread's calls, as bytes.
enum Output {
    kBitmapW,
    kBitmapA,
    kPngW,
    kPngA,
    kBmpFileW,
    kBmpFileA,
    kPngFileW,
    kPngFileA,
    kSharedPngFile,
    kOutputs
};
const char* const kOutputNames[kOutputs] = {
    "GetHBitmapW",  "GetHBitmapA",  "GetPNGW",
    "GetPNGA",      "GenerateBMPW", "GenerateBMPA",
    "GeneratePNGW", "GeneratePNGA", "GeneratePNGW (one file for all threads)"};

struct ThreadArguments {
    std::u16string text;
    std::string locale;  // the thread's LC_CTYPE, which the A functions read
    std::string narrowCharset;
    int32_t margin;
    int32_t moduleSize;
    int32_t level;
};

// Every thread has its own text, character set and arguments. The module
// sizes are large enough that each composed row is copied several times,
// which widens the window in which a shared scratch buffer would show.
std::vector<ThreadArguments> MakeThreadArguments() {
    const std::u16string longText =
        u"Длинный текст для символа побольше, with some ASCII as well: 0123456789 "
        u"and more words to reach a middle version of the symbol, ещё немного.";
    return {
        {u"Привет, мир", "C.UTF-8", "UTF-8", 1, 6, 0},
        {u"QR код \U0001F600", "C.UTF-8", "UTF-8", 0, 9, 1},
        {longText, "C.UTF-8", "UTF-8", 2, 4, 2},
        {u"ABCDEFGH 12345", "C.UTF-8", "UTF-8", 3, 7, 3},
        {u"Съешь же ещё этих мягких французских булок", "ru_RU.CP1251", "CP1251", 1, 5, 3},
        {u"Ёлка", "ru_RU.CP1251", "CP1251", 4, 8, 0},
        {u"plain ascii text", "C", "ASCII", 0, 3, 1},
        {u"31415926535897932384626433832795028841971", "C", "ASCII", 2, 6, 2},
    };
}

// The text in the thread's narrow character set.
std::string Narrow(const std::u16string& text, const std::string& charset) {
    iconv_t converter = iconv_open(charset.c_str(), "UTF-16LE");
    if (converter == iconv_t(-1)) {
        throw std::runtime_error("no converter to " + charset);
    }
    std::string out(text.size() * 4 + 4, '\0');
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    std::size_t inLeft = text.size() * 2;
    char* target = out.data();
    std::size_t targetLeft = out.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &target, &targetLeft);
    iconv_close(converter);
    if (result == std::size_t(-1)) {
        throw std::runtime_error("cannot convert a test text to " + charset);
    }
    out.resize(out.size() - targetLeft);
    return out;
}

class ConcurrentCallers : public testing::Test {
  protected:
    qrtest::LibraryCopy library;
    qrtest::TempFolder folder;
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

    // Problems seen by the worker threads; the first few are kept.
    std::mutex problemsMutex;
    std::vector<std::string> problems;
    std::atomic<int> problemCount{0};

    void Report(const std::string& problem) {
        if (problemCount.fetch_add(1) < 10) {
            const std::lock_guard lock(problemsMutex);
            problems.push_back(problem);
        }
    }

    std::string Take(HBITMAP bitmap) {
        if (bitmap == nullptr) {
            return "(no bitmap)";
        }
        DIBSECTION section{};
        std::string pixels;
        if (getObjectW(bitmap, sizeof section, &section) != int32_t(sizeof section)) {
            pixels = "(GetObjectW refused the handle)";
        } else {
            pixels.assign(static_cast<const char*>(section.dsBm.bmBits),
                          std::size_t(section.dsBm.bmWidthBytes) * section.dsBm.bmHeight);
        }
        if (deleteObject(bitmap) == 0) {
            pixels += "(DeleteObject refused the handle)";
        }
        return pixels;
    }

    std::string Take(const std::function<void(uint32_t*, unsigned char**)>& getPng) {
        uint32_t size = 0;
        unsigned char* buffer = nullptr;
        getPng(&size, &buffer);
        if (buffer == nullptr) {
            return "(no PNG)";
        }
        std::string bytes(reinterpret_cast<const char*>(buffer), size);
        destroyBuffer(buffer);
        return bytes;
    }

    std::string Take(const std::string& path) {
        return qrtest::ReadFile(path).value_or("(no file)");
    }

    // Makes every output of thread `index`, under that thread's locale (the
    // caller has switched to it).
    std::array<std::string, kOutputs> MakeOutputs(int index, const ThreadArguments& a,
                                                  const std::string& narrow) {
        const std::string prefix = folder / ("thread" + std::to_string(index));
        const std::u16string widePrefix = qrtest::Wide(prefix);
        const char16_t* text = a.text.c_str();
        std::array<std::string, kOutputs> out;
        out[kBitmapW] = Take(getHBitmapW(text, a.margin, a.moduleSize, a.level));
        out[kBitmapA] = Take(getHBitmapA(narrow.c_str(), a.margin, a.moduleSize, a.level));
        out[kPngW] = Take([&](uint32_t* s, unsigned char** b) {
            getPngW(text, a.margin, a.moduleSize, a.level, s, b);
        });
        out[kPngA] = Take([&](uint32_t* s, unsigned char** b) {
            getPngA(narrow.c_str(), a.margin, a.moduleSize, a.level, s, b);
        });
        generateBmpW((widePrefix + u"-w.bmp").c_str(), text, a.margin, a.moduleSize, a.level);
        out[kBmpFileW] = Take(prefix + "-w.bmp");
        generateBmpA((prefix + "-a.bmp").c_str(), narrow.c_str(), a.margin, a.moduleSize, a.level);
        out[kBmpFileA] = Take(prefix + "-a.bmp");
        generatePngW((widePrefix + u"-w.png").c_str(), text, a.margin, a.moduleSize, a.level);
        out[kPngFileW] = Take(prefix + "-w.png");
        generatePngA((prefix + "-a.png").c_str(), narrow.c_str(), a.margin, a.moduleSize, a.level);
        out[kPngFileA] = Take(prefix + "-a.png");
        // One file that every thread replaces with the same picture: a
        // reader must always find it whole.
        const std::u16string shared = qrtest::Wide(folder / "shared.png");
        generatePngW(shared.c_str(), u"one file, many writers", 1, 2, 1);
        out[kSharedPngFile] = Take(folder / "shared.png");
        return out;
    }

    void SetColourPair(int pair) {
        setForeground(kForegrounds[pair & 1]);
        setBackground(kBackgrounds[pair >> 1]);
    }
};

TEST_F(ConcurrentCallers, EveryExportGivesTheSingleThreadedResult) {
    const char* configured = std::getenv("QRIMAGE_CONCURRENCY_SECONDS");
    const double seconds = configured != nullptr ? std::atof(configured) : 3.0;
    const std::vector<ThreadArguments> arguments = MakeThreadArguments();
    ASSERT_EQ(arguments.size(), std::size_t(kThreads));

    // Single-threaded results, for every thread and every colour pair.
    std::vector<std::string> narrowTexts;
    std::vector<std::array<std::array<std::string, kOutputs>, kColourPairs>> expected(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        narrowTexts.push_back(Narrow(arguments[t].text, arguments[t].narrowCharset));
        const qrtest::ScopedThreadLocale locale(arguments[t].locale);
        for (int pair = 0; pair < kColourPairs; ++pair) {
            SetColourPair(pair);
            expected[t][pair] = MakeOutputs(t, arguments[t], narrowTexts[t]);
            for (int o = 0; o < kOutputs; ++o) {
                // Take() says "(no ...)" for a call that made nothing; no
                // picture, BMP or PNG starts with that byte.
                ASSERT_NE(expected[t][pair][o][0], '(')
                    << kOutputNames[o] << " of thread " << t << ": " << expected[t][pair][o];
            }
        }
    }
    SetColourPair(0);

    std::atomic<bool> coloursChange{false};
    std::atomic<bool> stop{false};
    std::atomic<long> rounds{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const qrtest::ScopedThreadLocale locale(arguments[t].locale);
            std::minstd_rand random(unsigned(t) + 1);
            while (!stop.load()) {
                const auto outputs = MakeOutputs(t, arguments[t], narrowTexts[t]);
                const uint32_t foreground = getForeground();
                const uint32_t background = getBackground();
                // Read after the calls: colours change only once a thread
                // has seen the flag, so while it is still clear, nobody had
                // changed them during this round.
                const bool changing = coloursChange.load();
                for (int o = 0; o < kOutputs; ++o) {
                    bool matches = false;
                    for (int pair = 0; pair < (changing ? kColourPairs : 1); ++pair) {
                        matches = matches || outputs[o] == expected[t][pair][o];
                    }
                    if (!matches) {
                        Report(std::string(kOutputNames[o]) + " of thread " + std::to_string(t) +
                               (changing ? " (colours changing)" : " (steady colours)") +
                               " differs from every single-threaded result");
                    }
                }
                // The colour exports too: steady, every thread stores the
                // value that is there; changing, each stores its own choice.
                if (changing) {
                    const int pair = int(random() % kColourPairs);
                    setForeground(kForegrounds[pair & 1]);
                    setBackground(kBackgrounds[pair >> 1]);
                } else {
                    setForeground(foreground);
                    setBackground(background);
                }
                const bool known =
                    (foreground == kForegrounds[0] ||
                     (changing && foreground == kForegrounds[1])) &&
                    (background == kBackgrounds[0] || (changing && background == kBackgrounds[1]));
                if (!known) {
                    Report("thread " + std::to_string(t) + " read colours that nobody stored");
                }
                rounds.fetch_add(1);
            }
        });
    }
    const auto half = std::chrono::duration<double>(seconds / 2);
    std::this_thread::sleep_for(half);
    const long steadyRounds = rounds.load();
    coloursChange.store(true);
    std::this_thread::sleep_for(half);
    stop.store(true);
    for (std::thread& thread : threads) {
        thread.join();
    }
    SetColourPair(0);

    for (const std::string& problem : problems) {
        ADD_FAILURE() << problem;
    }
    EXPECT_EQ(problemCount.load(), 0);
    EXPECT_GE(steadyRounds, kThreads) << "every thread should have finished a round";
    EXPECT_GT(rounds.load(), steadyRounds) << "no round ran while the colours changed";
    // Nothing but the files named: no temporary file survives the writers.
    std::vector<std::string> names;
    for (int t = 0; t < kThreads; ++t) {
        for (const char* suffix : {"-a.bmp", "-a.png", "-w.bmp", "-w.png"}) {
            names.push_back("thread" + std::to_string(t) + suffix);
        }
    }
    names.push_back("shared.png");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(folder.Entries(), names);
    std::cout << "[ rounds   ] " << rounds.load() << " rounds of every export in " << seconds
              << " s on " << kThreads << " threads (" << steadyRounds << " with steady colours)\n";
}

// Handles released from several threads at once: each one exactly once,
// and GetObjectW never describes a handle other than as it was made.
TEST_F(ConcurrentCallers, EachHandleIsReleasedExactlyOnce) {
    constexpr int kHandles = 200;
    std::vector<HBITMAP> handles;
    for (int i = 0; i < kHandles; ++i) {
        handles.push_back(getHBitmapW(u"abc", i % 3, 1, 0));
        ASSERT_NE(handles.back(), nullptr);
    }
    std::atomic<int> released{0};
    std::atomic<int> wrongDescriptions{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kHandles; ++k) {
                const int i = (k * 7 + t * 25) % kHandles;  // each thread in its own order
                BITMAP info{};
                const int32_t described = getObjectW(handles[i], sizeof info, &info);
                if (described != 0 &&
                    (described != int32_t(sizeof info) || info.bmWidth != (21 + 2 * (i % 3)))) {
                    wrongDescriptions.fetch_add(1);
                }
                released.fetch_add(deleteObject(handles[i]) != 0 ? 1 : 0);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(released.load(), kHandles);
    EXPECT_EQ(wrongDescriptions.load(), 0);
}

}  // namespace
