// GenerateBMPW and GenerateBMPA: the file layout byte for byte, the pixels
// against independent encoders and decoders, colours, and calls that must
// produce nothing.
#include <gtest/gtest.h>
#include <qrimage.h>

#include <functional>
#include <memory>

#include "decoder.h"
#include "library_copy.h"
#include "output_test_support.h"

namespace {

using qrtest::LittleEndian16;
using qrtest::LittleEndian32;
using qrtest::ReadFile;
using qrtest::Wide;

// One private copy of the library for the whole suite, so that its colours
// are the defaults whatever other tests do with theirs.
class BmpOutputTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { library_ = std::make_unique<qrtest::LibraryCopy>(); }
    static void TearDownTestSuite() { library_.reset(); }

    static void GenerateW(const std::string& path, const std::u16string& text, int margin,
                          int moduleSize, int level) {
        QRTEST_EXPORT(*library_, GenerateBMPW)
        (Wide(path).c_str(), text.c_str(), margin, moduleSize, level);
    }
    static std::string Generated(const std::u16string& text, int margin, int moduleSize,
                                 int level) {
        qrtest::TempFolder folder;
        GenerateW(folder / "picture.bmp", text, margin, moduleSize, level);
        return ReadFile(folder / "picture.bmp").value_or("");
    }

    static std::unique_ptr<qrtest::LibraryCopy> library_;
    qrtest::TempFolder folder_;
};

std::unique_ptr<qrtest::LibraryCopy> BmpOutputTest::library_;

constexpr std::size_t kPixels = 54;

TEST_F(BmpOutputTest, HeadersFollowTheFileLayoutAtEveryLevel) {
    for (int level = 0; level <= 3; ++level) {
        SCOPED_TRACE(level);
        const std::string bmp = Generated(u"abc", 1, 5, level);
        ASSERT_EQ(bmp.size(), 52954u);
        struct Field {
            std::size_t offset;
            int size;
            uint32_t value;
        };
        const Field fields[] = {
            {0, 2, 0x4D42}, {2, 4, 52954}, {6, 2, 0},  {8, 2, 0},   {10, 4, 54}, {14, 4, 40},
            {18, 4, 115},   {22, 4, 115},  {26, 2, 1}, {28, 2, 32}, {30, 4, 0},  {34, 4, 52900},
            {38, 4, 0},     {42, 4, 0},    {46, 4, 0}, {50, 4, 0},
        };
        for (const Field& field : fields) {
            const uint32_t stored = field.size == 2 ? LittleEndian16(bmp, field.offset)
                                                    : LittleEndian32(bmp, field.offset);
            EXPECT_EQ(stored, field.value) << "field at offset " << field.offset;
        }
        // With a margin the bottom row is quiet zone: all white, fourth byte 255.
        EXPECT_EQ(bmp.substr(kPixels, 115 * 4), std::string(115 * 4, '\xFF'));
    }
}

TEST_F(BmpOutputTest, WithoutMarginTheFirstStoredRowCrossesTheBottomLeftFinder) {
    const std::string bmp = Generated(u"abc", 0, 5, 2);
    ASSERT_EQ(LittleEndian32(bmp, 18), 105u);
    // The finder's bottom edge: 7 dark modules of 5 pixels, then the light
    // separator.
    const std::string dark("\x00\x00\x00\xFF", 4);
    for (int x = 0; x < 35; ++x) {
        EXPECT_EQ(bmp.substr(kPixels + x * 4, 4), dark) << "pixel " << x;
    }
    EXPECT_EQ(bmp.substr(kPixels + 35 * 4, 4), std::string(4, '\xFF'));
}

TEST_F(BmpOutputTest, ASecondCallReplacesTheWholeFile) {
    const std::string path = folder_ / "QR.bmp";
    GenerateW(path, Wide(std::string(150, 'x')), 4, 5, 3);
    const std::string first = ReadFile(path).value();
    GenerateW(path, u"abc", 1, 5, 1);
    const std::string second = ReadFile(path).value();
    EXPECT_GT(first.size(), second.size());
    EXPECT_EQ(second, Generated(u"abc", 1, 5, 1));
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"QR.bmp"});
}

// The qrencode tool runs the same encoder call through its own renderer. The
// shapes vary how rows meet the 256 KiB write blocks; the last spans many.
TEST_F(BmpOutputTest, PixelsEqualTheQrencodeToolAtEveryLevel) {
    struct Shape {
        std::string text;
        int level;
        int margin;
        int moduleSize;
    };
    const Shape shapes[] = {
        {"abc", 0, 0, 1},
        {"Hello, World! 0123456789", 1, 2, 3},
        {"https://example.org/a/path?with=query&and=more#fragment", 2, 1, 7},
        {std::string(150, 'q'), 2, 4, 2},
        {"abc", 3, 4, 5},
        {std::string(1273, 'k'), 3, 25, 5},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(testing::Message()
                     << shape.text.substr(0, 30) << " level " << shape.level << " margin "
                     << shape.margin << " size " << shape.moduleSize);
        const auto expected = qrtest::DecodePng(
            qrtest::QrencodeToolPng(shape.text, shape.level, shape.margin, shape.moduleSize));
        ASSERT_TRUE(expected.has_value());
        EXPECT_TRUE(qrtest::DecodeBmp(Generated(Wide(shape.text), shape.margin, shape.moduleSize,
                                                shape.level)) == *expected);
    }
}

TEST_F(BmpOutputTest, DecodesToTheUtf8BytesOfTheText) {
    const std::u16string text = u"Привет, мир! abc ABC 123";
    const qrtest::RgbPicture picture = qrtest::DecodeBmp(Generated(text, 2, 3, 1));
    const std::vector<unsigned char> grey = picture.Grey();
    EXPECT_EQ(
        qrtest::DecodeQrCode(grey.data(), picture.width, picture.height, qrtest::PixelFormat::Grey),
        "Привет, мир! abc ABC 123");
}

TEST_F(BmpOutputTest, NarrowTwinWritesTheSameFileForAsciiText) {
    QRTEST_EXPORT(*library_, GenerateBMPA)((folder_ / "narrow.bmp").c_str(), "Hello 42", 3, 2, 0);
    EXPECT_EQ(ReadFile(folder_ / "narrow.bmp").value_or(""), Generated(u"Hello 42", 3, 2, 0));
}

TEST(BmpOutputColours, ColourWordsReachThePixels) {
    qrtest::LibraryCopy library;
    QRTEST_EXPORT(library, SetForegroundColor)(0x00FF0000);  // pure blue
    QRTEST_EXPORT(library, SetBackgroundColor)(0x12345678);  // red 78, green 56, blue 34
    qrtest::TempFolder folder;
    QRTEST_EXPORT(library, GenerateBMPW)(Wide(folder / "c.bmp").c_str(), u"abc", 0, 1, 0);
    const std::string bmp = ReadFile(folder / "c.bmp").value();
    const std::string blue("\xFF\x00\x00\xFF", 4);
    const std::string background("\x34\x56\x78\xFF", 4);
    // Margin 0, module size 1: the bottom row starts with the finder's 7 dark
    // modules and the light separator.
    EXPECT_EQ(bmp.substr(kPixels, 4), blue);
    EXPECT_EQ(bmp.substr(kPixels + 6 * 4, 4), blue);
    EXPECT_EQ(bmp.substr(kPixels + 7 * 4, 4), background);
    for (std::size_t at = kPixels; at < bmp.size(); at += 4) {
        const std::string pixel = bmp.substr(at, 4);
        ASSERT_TRUE(pixel == blue || pixel == background) << "at byte " << at;
    }
}

// Calls that make no picture, or may not write it, leave the folder as it was.
TEST_F(BmpOutputTest, FailedCallsLeaveEverythingAsItWas) {
    const std::string existing = folder_ / "existing.bmp";
    const std::u16string wideExisting = Wide(existing);
    const std::string tooLong(1274, 'a');
    auto generateW = library_->Get<decltype(GenerateBMPW)>("GenerateBMPW");
    auto generateA = library_->Get<decltype(GenerateBMPA)>("GenerateBMPA");
    struct Case {
        const char* name;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"null file name", [&] { generateW(nullptr, u"abc", 1, 5, 0); }},
        {"null text", [&] { generateW(wideExisting.c_str(), nullptr, 1, 5, 0); }},
        {"empty text", [&] { generateW(wideExisting.c_str(), u"", 1, 5, 0); }},
        {"level 4", [&] { generateW(wideExisting.c_str(), u"abc", 1, 5, 4); }},
        {"level -1", [&] { generateW(wideExisting.c_str(), u"abc", 1, 5, -1); }},
        {"negative margin", [&] { generateW(wideExisting.c_str(), u"abc", -1, 5, 0); }},
        {"module size 0", [&] { generateW(wideExisting.c_str(), u"abc", 1, 0, 0); }},
        {"picture over 2 GiB", [&] { generateW(wideExisting.c_str(), u"abc", 1, 2000, 0); }},
        {"text too long", [&] { generateW(wideExisting.c_str(), Wide(tooLong).c_str(), 1, 5, 3); }},
        {"missing folder",
         [&] { generateW(Wide(folder_ / "no/such.bmp").c_str(), u"abc", 1, 5, 0); }},
        {"folder as target", [&] { generateW(Wide(folder_.Path()).c_str(), u"abc", 1, 5, 0); }},
        {"empty file name", [&] { generateW(u"", u"abc", 1, 5, 0); }},
        {"narrow null file name", [&] { generateA(nullptr, "abc", 1, 5, 0); }},
        {"narrow null text", [&] { generateA(existing.c_str(), nullptr, 1, 5, 0); }},
        {"narrow empty text", [&] { generateA(existing.c_str(), "", 1, 5, 0); }},
    };
    for (const bool targetExists : {false, true}) {
        for (const Case& failing : cases) {
            SCOPED_TRACE(std::string(failing.name) + (targetExists ? ", file exists" : ""));
            if (targetExists) {
                qrtest::WriteFile(existing, "earlier content");
            }
            failing.call();
            EXPECT_TRUE(qrtest::FileHolds(
                existing,
                targetExists ? std::optional<std::string>("earlier content") : std::nullopt));
            EXPECT_EQ(folder_.Entries().size(), targetExists ? 1u : 0u);
        }
    }
}

}  // namespace
