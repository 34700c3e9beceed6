#include <gtest/gtest.h>
#include <iconv.h>

#include <bit>
#include <string>

#include "text_conversion.h"
#include "thread_locale.h"

namespace {

using qrimage::Utf16ToUtf8;
using qrimage::WidenAnsiText;

struct Utf16Case {
    std::u16string text;
    std::string utf8;
};

TEST(Utf16ToUtf8, ReplacesUnpairedSurrogates) {
    const Utf16Case cases[] = {
        {u"", ""},
        {u"\u044F", "\xD1\x8F"},  // я
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {{char16_t(0xD800), u'a'}, "\xEF\xBF\xBD\x61"},                      // lone high
        {{u'a', char16_t(0xDC00)}, "a\xEF\xBF\xBD"},                         // lone low
        {{u'a', char16_t(0xD83D)}, "a\xEF\xBF\xBD"},                         // high at the end
        {{char16_t(0xDE00), char16_t(0xD83D)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},  // reversed pair
        {{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    };
    for (const Utf16Case& c : cases) {
        EXPECT_EQ(Utf16ToUtf8(c.text.c_str()), c.utf8) << "case of length " << c.text.size();
    }
}

// iconv as an independent reference, over every scalar value.
TEST(Utf16ToUtf8, AgreesWithIconvOnAllOfUnicode) {
    std::u16string all;
    for (char32_t code = 1; code <= 0x10FFFF; ++code) {
        if (code >= 0xD800 && code <= 0xDFFF) {
            continue;
        }
        if (code < 0x10000) {
            all.push_back(char16_t(code));
        } else {
            all.push_back(char16_t(0xD800 + ((code - 0x10000) >> 10)));
            all.push_back(char16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
        }
    }
    iconv_t converter =
        iconv_open("UTF-8", std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE");
    ASSERT_NE(converter, iconv_t(-1));
    std::string expected(all.size() * 4, '\0');
    char* in = reinterpret_cast<char*>(all.data());
    std::size_t inLeft = all.size() * 2;
    char* out = expected.data();
    std::size_t outLeft = expected.size();
    ASSERT_NE(iconv(converter, &in, &inLeft, &out, &outLeft), std::size_t(-1));
    iconv_close(converter);
    expected.resize(expected.size() - outLeft);

    EXPECT_TRUE(Utf16ToUtf8(all.c_str()) == expected);
}

struct WidenCase {
    const char* locale;
    const char* bytes;
    std::u16string wide;
};

TEST(WidenAnsiText, ConvertsFromTheThreadLocaleAndReplacesBadBytes) {
    const WidenCase cases[] = {
        {"C", "", u""},
        {"C", "abc", u"abc"},
        {"C", "a\xE9z", u"a\uFFFDz"},  // not ASCII
        {"C.UTF-8", "\xD1\x8F", u"\u044F"},
        {"C.UTF-8", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"C.UTF-8", "a\xFF\x62", u"a\uFFFDb"},
        {"C.UTF-8", "a\xE2\x82", u"a\uFFFD\uFFFD"},  // cut off at the end: each byte
        {"C.UTF-8", "\xE2\x82\x61", u"\uFFFD\uFFFDa"},
        {"ru_RU.CP1251", "\xFF", u"\u044F"},
        {"ru_RU.CP1251", "\xC0\xE1\xE2 ok", u"\u0410\u0431\u0432 ok"},
        {"ru_RU.CP1251", "a\x98z", u"a\uFFFDz"},  // the one unassigned byte of CP1251
    };
    for (const WidenCase& c : cases) {
        const qrtest::ScopedThreadLocale locale(c.locale);
        const auto wide = WidenAnsiText(c.bytes);
        ASSERT_TRUE(wide.has_value()) << c.locale << " " << c.bytes;
        EXPECT_TRUE(*wide == c.wide) << c.locale << " " << c.bytes;
    }
}

TEST(WidenAnsiText, NullGivesNothingAndTheGlobalLocaleStaysAsItWas) {
    EXPECT_FALSE(WidenAnsiText(nullptr).has_value());
    const std::string before = std::setlocale(LC_ALL, nullptr);
    {
        const qrtest::ScopedThreadLocale locale("ru_RU.CP1251");
        ASSERT_TRUE(WidenAnsiText("\xFF").has_value());
    }
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}

}  // namespace
