#include <gtest/gtest.h>
#include <qrencode.h>

#include <cstring>
#include <string>

#include "symbol.h"

namespace {

using qrimage::EncodeBytes;
using qrimage::EncodeTextW;

std::u16string Repeat(char16_t unit, std::size_t count) {
    return std::u16string(count, unit);
}

struct SizeCase {
    std::u16string text;
    int32_t level;
    int expectedWidth;  // 0: no symbol
};

TEST(EncodeTextW, PicksTheSmallestVersionOrNothing) {
    const SizeCase cases[] = {
        {u"abc", 0, 21},
        {u"abc", 1, 21},
        {u"abc", 2, 21},
        {u"abc", 3, 21},
        {u"", 0, 0},
        {u"abc", 4, 0},
        {u"abc", -1, 0},
        {u"abc", INT32_MIN, 0},
        {Repeat(u'a', 1273), 3, 177},
        {Repeat(u'a', 1274), 3, 0},
        {Repeat(u'a', 2953), 0, 177},
        {Repeat(u'a', 2954), 0, 0},
        // Two UTF-8 bytes each: 1272 bytes fit at H, 1274 do not.
        {Repeat(u'\u044F', 636), 3, 177},
        {Repeat(u'\u044F', 637), 3, 0},
    };
    for (const SizeCase& c : cases) {
        const qrimage::SymbolPtr symbol = EncodeTextW(c.text.c_str(), c.level);
        SCOPED_TRACE(testing::Message() << c.text.size() << " units at level " << c.level);
        if (c.expectedWidth == 0) {
            EXPECT_EQ(symbol, nullptr);
        } else {
            ASSERT_NE(symbol, nullptr);
            EXPECT_EQ(symbol->width, c.expectedWidth);
        }
    }
    EXPECT_EQ(EncodeTextW(nullptr, 0), nullptr);
    EXPECT_EQ(EncodeBytes(nullptr, 0), nullptr);
    EXPECT_EQ(EncodeBytes("", 0), nullptr);
}

bool SameModules(const QRcode& a, const QRcode& b) {
    return a.width == b.width && std::memcmp(a.data, b.data, std::size_t(a.width) * a.width) == 0;
}

// The symbol of a direct encoder call with the expected UTF-8 bytes.
qrimage::SymbolPtr Direct(const std::string& bytes, int32_t level) {
    return qrimage::SymbolPtr(QRcode_encodeString(bytes.c_str(), 0, QRecLevel(level), QR_MODE_8, 1),
                              &QRcode_free);
}

struct BytesCase {
    std::u16string text;
    std::string utf8;
};

TEST(EncodeTextW, EncodesTheUtf8FormCaseSensitive) {
    const BytesCase cases[] = {
        {u"abc", "abc"},
        {u"0123456789ABCDEF", "0123456789ABCDEF"},
        {u"\u041F\u0440\u0438\u0432\u0435\u0442 abc",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 abc"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {{u'a', char16_t(0xD800), u'b'}, "a\xEF\xBF\xBD\x62"},
    };
    for (const BytesCase& c : cases) {
        for (int32_t level = 0; level <= 3; ++level) {
            const auto ours = EncodeTextW(c.text.c_str(), level);
            const auto direct = Direct(c.utf8, level);
            ASSERT_NE(ours, nullptr);
            ASSERT_NE(direct, nullptr);
            EXPECT_TRUE(SameModules(*ours, *direct)) << c.utf8 << " at level " << level;
        }
    }
    // Lower case stays lower case: "abc" is 8-bit, "ABC" alphanumeric.
    EXPECT_FALSE(SameModules(*EncodeTextW(u"abc", 2), *EncodeTextW(u"ABC", 2)));
}

TEST(EncodeBytes, EncodesTheBytesUnchanged) {
    const auto ours = EncodeBytes("\xFF\xC0", 1);  // CP1251 "яА", not UTF-8
    const auto direct = Direct("\xFF\xC0", 1);
    ASSERT_NE(ours, nullptr);
    ASSERT_NE(direct, nullptr);
    EXPECT_TRUE(SameModules(*ours, *direct));
    EXPECT_FALSE(SameModules(*ours, *EncodeTextW(u"\u044F\u0410", 1)));
}

}  // namespace
