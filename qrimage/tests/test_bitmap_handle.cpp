#include <gtest/gtest.h>
#include <qrencode.h>

#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decoder.h"
#include "library_copy.h"
#include "qrimage.h"
#include "thread_locale.h"

namespace {

struct Picture {
    int side = 0;
    std::vector<unsigned char> pixels;  // BGRA, top row first

    const unsigned char* At(int x, int y) const { return &pixels[(std::size_t(y) * side + x) * 4]; }
    bool operator==(const Picture&) const = default;
};

const unsigned char kBlack[4] = {0x00, 0x00, 0x00, 0xFF};
const unsigned char kWhite[4] = {0xFF, 0xFF, 0xFF, 0xFF};

// Every test loads its own copy of the library, so colours set here reach no
// other test and every test starts from the default colours.
class BitmapHandles : public testing::Test {
  protected:
    qrtest::LibraryCopy library;
    decltype(&GetHBitmapW) getHBitmapW = QRTEST_EXPORT(library, GetHBitmapW);
    decltype(&GetHBitmapA) getHBitmapA = QRTEST_EXPORT(library, GetHBitmapA);
    decltype(&GetObjectW) getObjectW = QRTEST_EXPORT(library, GetObjectW);
    decltype(&DeleteObject) deleteObject = QRTEST_EXPORT(library, DeleteObject);
    decltype(&SetForegroundColor) setForeground = QRTEST_EXPORT(library, SetForegroundColor);
    decltype(&SetBackgroundColor) setBackground = QRTEST_EXPORT(library, SetBackgroundColor);

    // Reads a bitmap out through GetObjectW, checks its description and
    // releases it.
    Picture Take(HBITMAP bitmap) const {
        Picture picture;
        DIBSECTION section{};
        EXPECT_EQ(getObjectW(bitmap, sizeof section, &section), int32_t(sizeof section));
        const BITMAP& info = section.dsBm;
        EXPECT_EQ(info.bmType, 0);
        EXPECT_EQ(info.bmWidth, info.bmHeight);
        EXPECT_EQ(info.bmWidthBytes, info.bmWidth * 4);
        EXPECT_EQ(info.bmPlanes, 1);
        EXPECT_EQ(info.bmBitsPixel, 32);
        EXPECT_EQ(section.dsBmih.biSize, 40u);
        EXPECT_EQ(section.dsBmih.biWidth, info.bmWidth);
        EXPECT_EQ(section.dsBmih.biHeight, -info.bmHeight);  // top row first
        EXPECT_EQ(section.dsBmih.biCompression, 0u);
        EXPECT_EQ(section.dsBmih.biSizeImage, uint32_t(info.bmWidth * info.bmHeight * 4));
        picture.side = info.bmWidth;
        const auto* bits = static_cast<const unsigned char*>(info.bmBits);
        picture.pixels.assign(bits, bits + std::size_t(picture.side) * picture.side * 4);
        EXPECT_NE(deleteObject(bitmap), 0);
        return picture;
    }

    std::optional<Picture> W(const std::u16string& text, int margin, int moduleSize, int level) {
        HBITMAP bitmap = getHBitmapW(text.c_str(), margin, moduleSize, level);
        return bitmap != nullptr ? std::optional(Take(bitmap)) : std::nullopt;
    }
    std::optional<Picture> A(const std::string& text, int margin, int moduleSize, int level) {
        HBITMAP bitmap = getHBitmapA(text.c_str(), margin, moduleSize, level);
        return bitmap != nullptr ? std::optional(Take(bitmap)) : std::nullopt;
    }
};

// The picture of a direct encoder call, pixel by pixel: quiet zone below
// margin * s and from (margin + w) * s on, else module (x / s - margin).
void ExpectPixelsOfDirectEncoding(const Picture& picture, const std::string& utf8, int margin,
                                  int moduleSize, int level) {
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(utf8.c_str(), 0, QRecLevel(level), QR_MODE_8, 1), &QRcode_free);
    ASSERT_NE(code, nullptr);
    const int w = code->width;
    ASSERT_EQ(picture.side, (w + 2 * margin) * moduleSize);
    int wrong = 0;
    for (int y = 0; y < picture.side; ++y) {
        for (int x = 0; x < picture.side; ++x) {
            const int low = margin * moduleSize, high = (margin + w) * moduleSize;
            const bool quiet = x < low || y < low || x >= high || y >= high;
            const bool dark =
                !quiet &&
                (code->data[(y / moduleSize - margin) * w + (x / moduleSize - margin)] & 1);
            wrong += std::memcmp(picture.At(x, y), dark ? kBlack : kWhite, 4) != 0;
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels differ from the encoder's modules";
}

struct TextCase {
    std::u16string text;
    std::string utf8;
    int margin, moduleSize, level;
};

TEST_F(BitmapHandles, PixelsAreTheModulesOfADirectEncodingAndDecodeBack) {
    const TextCase cases[] = {
        {u"abc", "abc", 1, 5, 0},
        {u"abc", "abc", 1, 5, 3},
        {u"abc", "abc", 0, 3, 1},
        {u"ABC", "ABC", 4, 2, 2},
        {u"\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80", 2, 3, 2},
        {u"https://example.org/?q=12345678901234567890",
         "https://example.org/?q=12345678901234567890", 1, 1, 1},
        {u"\U0001F600 smile", "\xF0\x9F\x98\x80 smile", 3, 4, 3},
        {{u'a', char16_t(0xDC00), u'z'}, "a\xEF\xBF\xBDz", 1, 2, 0},
        {std::u16string(1273, u'a'), std::string(1273, 'a'), 2, 2, 3},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.utf8.substr(0, 40));
        const auto picture = W(c.text, c.margin, c.moduleSize, c.level);
        ASSERT_TRUE(picture);
        ExpectPixelsOfDirectEncoding(*picture, c.utf8, c.margin, c.moduleSize, c.level);
        const auto decoded = qrtest::DecodeQrCode(picture->pixels.data(), picture->side,
                                                  picture->side, qrtest::PixelFormat::Bgra);
        EXPECT_TRUE(decoded == c.utf8) << "decoded " << decoded.value_or("nothing").size()
                                       << " bytes, expected " << c.utf8.size();
    }
}

struct NarrowCase {
    const char* locale;
    std::string bytes;
    std::u16string sameAsWide;
    std::string utf8;
};

TEST_F(BitmapHandles, NarrowTextIsWidenedFromTheThreadLocale) {
    const NarrowCase cases[] = {
        {"C", "abc", u"abc", "abc"},
        {"C", "Hello, World 42", u"Hello, World 42", "Hello, World 42"},
        {"ru_RU.CP1251", "\xFF", u"\u044F", "\xD1\x8F"},
        {"ru_RU.CP1251", "\xCF\xF0\xE8\xE2\xE5\xF2", u"\u041F\u0440\u0438\u0432\u0435\u0442",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"C.UTF-8", "\xD1\x8F", u"\u044F", "\xD1\x8F"},
        {"C", "\xFF", u"\uFFFD", "\xEF\xBF\xBD"},  // not in the character set
    };
    for (const NarrowCase& c : cases) {
        SCOPED_TRACE(c.locale);
        const qrtest::ScopedThreadLocale locale(c.locale);
        const auto narrow = A(c.bytes, 1, 3, 2);
        const auto wide = W(c.sameAsWide, 1, 3, 2);
        ASSERT_TRUE(narrow && wide);
        EXPECT_TRUE(*narrow == *wide);
        EXPECT_EQ(qrtest::DecodeQrCode(narrow->pixels.data(), narrow->side, narrow->side,
                                       qrtest::PixelFormat::Bgra),
                  c.utf8);
    }
}

TEST_F(BitmapHandles, GeometryOfAbc) {
    for (int level = 0; level <= 3; ++level) {
        EXPECT_EQ(W(u"abc", 1, 5, level)->side, 115) << "level " << level;
    }
    // Without a quiet zone the picture starts with the top-left finder.
    const auto bare = W(u"abc", 0, 5, 2);
    EXPECT_EQ(bare->side, 105);
    EXPECT_EQ(std::memcmp(bare->At(0, 0), kBlack, 4), 0);
    EXPECT_EQ(std::memcmp(bare->At(4, 4), kBlack, 4), 0);
    const auto framed = W(u"abc", 1, 5, 2);
    EXPECT_EQ(std::memcmp(framed->At(4, 4), kWhite, 4), 0);
    EXPECT_EQ(std::memcmp(framed->At(5, 5), kBlack, 4), 0);
    EXPECT_FALSE(*W(u"abc", 1, 5, 2) == *W(u"ABC", 1, 5, 2));
}

struct ColourCase {
    COLORREF foreground, background;
    unsigned char dark[4], light[4];
};

TEST_F(BitmapHandles, DrawsRedGreenBlueOfTheColoursAndAlways255) {
    const ColourCase cases[] = {
        {0xFF000000u, 0xFFFFFFFFu, {0, 0, 0, 255}, {255, 255, 255, 255}},
        {0x00FF0000u, 0xFFFFFFFFu, {255, 0, 0, 255}, {255, 255, 255, 255}},
        {0x000000FFu, 0x12345678u, {0, 0, 255, 255}, {0x34, 0x56, 0x78, 255}},
        {0xAB00FF00u, 0x00345678u, {0, 255, 0, 255}, {0x34, 0x56, 0x78, 255}},
        {0x00808080u, 0x00808080u, {128, 128, 128, 255}, {128, 128, 128, 255}},
    };
    const auto defaults = W(u"colour", 2, 2, 1);
    for (const ColourCase& c : cases) {
        setForeground(c.foreground);
        setBackground(c.background);
        const auto picture = W(u"colour", 2, 2, 1);
        ASSERT_TRUE(picture);
        for (int y = 0; y < picture->side; ++y) {
            for (int x = 0; x < picture->side; ++x) {
                const bool dark = defaults->At(x, y)[0] == 0;
                ASSERT_EQ(std::memcmp(picture->At(x, y), dark ? c.dark : c.light, 4), 0)
                    << std::hex << c.foreground << " on " << c.background << std::dec << " at " << x
                    << "," << y;
            }
        }
    }
}

TEST_F(BitmapHandles, BadInputsProduceNothing) {
    const std::u16string tooLong(1274, u'a');
    const std::u16string tooLongCyrillic(637, u'\u044F');
    struct BadCase {
        const char16_t* text;
        int margin, moduleSize, level;
    } const cases[] = {
        {nullptr, 1, 5, 2},         {u"", 1, 5, 2},
        {u"abc", 1, 5, 4},          {u"abc", 1, 5, -1},
        {u"abc", 1, 5, INT_MIN},    {u"abc", -1, 5, 2},
        {u"abc", INT_MIN, 5, 2},    {u"abc", 1, 0, 2},
        {u"abc", 1, -5, 2},         {u"abc", 1, INT_MAX, 2},
        {u"abc", 1, 100000, 2},     {u"abc", INT_MAX, 1, 2},
        {u"abc", 0, 1104, 2},  // 23184 px a side: just over 2^31 - 1 bytes
        {tooLong.c_str(), 1, 1, 3}, {tooLongCyrillic.c_str(), 1, 1, 3},
    };
    for (const BadCase& c : cases) {
        EXPECT_EQ(getHBitmapW(c.text, c.margin, c.moduleSize, c.level), nullptr)
            << "margin " << c.margin << ", module size " << c.moduleSize << ", level " << c.level;
    }
    EXPECT_EQ(getHBitmapA(nullptr, 1, 5, 2), nullptr);
    EXPECT_EQ(getHBitmapA("", 1, 5, 2), nullptr);
    EXPECT_EQ(getHBitmapA("abc", 1, 5, 4), nullptr);
    EXPECT_EQ(getHBitmapA("abc", -1, 5, 2), nullptr);
    EXPECT_EQ(getHBitmapA(std::string(1274, 'a').c_str(), 1, 1, 3), nullptr);
}

TEST_F(BitmapHandles, OnlyLiveHandlesOfThisLibraryAreKnown) {
    HBITMAP bitmap = getHBitmapW(u"abc", 1, 1, 0);
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    EXPECT_EQ(getObjectW(bitmap, 0, nullptr), int32_t(sizeof(BITMAP)));
    EXPECT_EQ(getObjectW(bitmap, sizeof(BITMAP) - 1, &info), 0);
    EXPECT_EQ(getObjectW(bitmap, -1, &info), 0);
    // Room for more than a BITMAP but less than a DIBSECTION: a BITMAP.
    unsigned char room[sizeof(DIBSECTION) - 1] = {};
    EXPECT_EQ(getObjectW(bitmap, sizeof room, room), int32_t(sizeof(BITMAP)));
    EXPECT_EQ(getObjectW(bitmap, sizeof info, &info), int32_t(sizeof(BITMAP)));
    EXPECT_EQ(info.bmHeight, 23);
    EXPECT_EQ(std::memcmp(room, &info, sizeof info), 0);

    int notABitmap = 0;
    HBITMAP foreign = reinterpret_cast<HBITMAP>(&notABitmap);
    EXPECT_EQ(getObjectW(foreign, sizeof info, &info), 0);
    EXPECT_EQ(deleteObject(foreign), 0);
    EXPECT_EQ(deleteObject(nullptr), 0);
    EXPECT_EQ(getObjectW(nullptr, sizeof info, &info), 0);

    EXPECT_NE(deleteObject(bitmap), 0);
    EXPECT_EQ(deleteObject(bitmap), 0);
    EXPECT_EQ(getObjectW(bitmap, sizeof info, &info), 0);
}

}  // namespace
