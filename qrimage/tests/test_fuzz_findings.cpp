// Inputs that broke the library under the fuzz targets, kept as regular
// tests: every export, given them, must produce nothing (no handle, no block,
// out-parameters untouched, no file). The sanitizer run of the unit tests
// catches a relapse into undefined behaviour on the way.
#include <gtest/gtest.h>
#include <qrimage.h>

#include <climits>
#include <string>

#include "library_copy.h"
#include "output_test_support.h"

namespace {

struct Finding {
    const char* what;
    int32_t margin;
    int32_t moduleSize;
};

const Finding kFindings[] = {
    // Found by fuzz_text_exports: (width + 2 * margin) * moduleSize
    // overflowed 64-bit arithmetic in the size check.
    {"margin and moduleSize both INT32_MAX", INT32_MAX, INT32_MAX},
    // Found in review of the same check, and by its seed: a side of 1.68e9
    // pixels passed the side limit, and 4 * side * side overflowed.
    {"a side of 1.68e9 pixels", 0, 80000000},
    {"a side just below 2^31 pixels", 0, INT32_MAX / 21},
};

TEST(FuzzFindings, EveryExportProducesNothing) {
    // A private copy: its colour object goes with it.
    const qrtest::LibraryCopy library;
    const auto getHBitmapW = QRTEST_EXPORT(library, GetHBitmapW);
    const auto getHBitmapA = QRTEST_EXPORT(library, GetHBitmapA);
    const auto getPngW = QRTEST_EXPORT(library, GetPNGW);
    const auto getPngA = QRTEST_EXPORT(library, GetPNGA);
    const auto generateBmpW = QRTEST_EXPORT(library, GenerateBMPW);
    const auto generateBmpA = QRTEST_EXPORT(library, GenerateBMPA);
    const auto generatePngW = QRTEST_EXPORT(library, GeneratePNGW);
    const auto generatePngA = QRTEST_EXPORT(library, GeneratePNGA);
    const char16_t* wide = u"abc";
    const char* narrow = "abc";
    const int32_t level = 2;
    for (const Finding& f : kFindings) {
        SCOPED_TRACE(f.what);
        EXPECT_EQ(getHBitmapW(wide, f.margin, f.moduleSize, level), nullptr);
        EXPECT_EQ(getHBitmapA(narrow, f.margin, f.moduleSize, level), nullptr);

        unsigned char sentinel = 0;
        uint32_t size = 12345;
        unsigned char* buffer = &sentinel;
        getPngW(wide, f.margin, f.moduleSize, level, &size, &buffer);
        getPngA(narrow, f.margin, f.moduleSize, level, &size, &buffer);
        EXPECT_EQ(size, 12345u);
        EXPECT_EQ(buffer, &sentinel);

        const qrtest::TempFolder folder;
        const std::string bmp = folder / "picture.bmp";
        const std::string png = folder / "picture.png";
        generateBmpW(qrtest::Wide(bmp).c_str(), wide, f.margin, f.moduleSize, level);
        generateBmpA(bmp.c_str(), narrow, f.margin, f.moduleSize, level);
        generatePngW(qrtest::Wide(png).c_str(), wide, f.margin, f.moduleSize, level);
        generatePngA(png.c_str(), narrow, f.margin, f.moduleSize, level);
        EXPECT_TRUE(folder.Entries().empty());
    }
}

}  // namespace
