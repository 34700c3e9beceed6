// The tool's parts called directly: the command line, batch name pattern, UTF-8 text, batch list.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "batch_list.h"
#include "options.h"
#include "output_pattern.h"
#include "utf8_text.h"

namespace {

using namespace qrtool;
const auto kNamed = [](const auto& info) { return info.param.name; };

std::variant<Options, UsageError> Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "qrimage");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return ParseArguments(int(arguments.size()), argv.data());
}

Options Parsed(const std::vector<std::string>& arguments) {
    return std::get<Options>(Parse(arguments));  // throws at a usage error
}

// A file that holds `bytes`, read from its start; closed when dropped.
std::unique_ptr<std::FILE, decltype(&std::fclose)> FileOf(const std::string& bytes) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::tmpfile(), &std::fclose);
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    return file;
}

struct UsageCase {
    std::string name;
    std::vector<std::string> arguments;
    std::string message;
};

class UsageErrors : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, SayWhatIsWrong) {
    const auto parsed = Parse(GetParam().arguments);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_EQ(std::get<UsageError>(parsed).message, GetParam().message);
}

const std::string kColour = "a colour is written RRGGBB or RRGGBBAA in hexadecimal, not '";
// clang-format off
INSTANTIATE_TEST_SUITE_P(CommandLine, UsageErrors, testing::Values(
    UsageCase{"UnknownLongOption", {"--bogus", "abc"}, "unknown option --bogus"},
    UsageCase{"MissingValue", {"abc", "-o"}, "option -o needs a value"},
    UsageCase{"UnknownType", {"-t", "gif"}, "unknown type 'gif' (png, bmp, svg, eps or utf8)"},
    UsageCase{"UnknownLevel", {"-l", "LM"}, "unknown level 'LM' (L, M, Q or H)"},
    UsageCase{"NegativeMargin", {"-m", "-1"}, "the margin must be a whole number of modules, 0 or more"},
    UsageCase{"SizeZero", {"-s", "0"}, "the size must be a whole number of pixels, 1 or more"},
    UsageCase{"SizeWithUnit", {"-s", "3px"}, "the size must be a whole number of pixels, 1 or more"},
    UsageCase{"DpiZero", {"-d", "0"}, "the resolution must be 1 to 100000 dots per inch"},
    UsageCase{"DpiAboveRange", {"-d", "100001"}, "the resolution must be 1 to 100000 dots per inch"},
    UsageCase{"VersionAboveRange", {"-v", "41"}, "the version must be 1 to 40 (1 to 4 with -M), or 0 for the smallest"},
    UsageCase{"JobsAboveRange", {"--batch", "l", "-o", "{n}", "-j", "1025"}, "the number of jobs must be 1 to 1024"},
    UsageCase{"ColourOfFiveDigits", {"--foreground", "12345"}, kColour + "12345'"},
    UsageCase{"ColourOfSevenDigits", {"--background", "#1234567"}, kColour + "#1234567'"},
    UsageCase{"ColourNotHexadecimal", {"--foreground", "00GG00"}, kColour + "00GG00'"},
    UsageCase{"SharedColourWithOpacity", {"colours", "--foreground", "FFFFFF00"}, "a colour is written RRGGBB in hexadecimal, not 'FFFFFF00'"},
    UsageCase{"ColoursWithText", {"colors", "abc"}, "the colours command takes no text"},
    UsageCase{"ColoursWithEncodeOption", {"colours", "-o", "x"}, "unknown option -o"},
    UsageCase{"MicroLevelH", {"-l", "H", "-M"}, "a Micro QR code has no level H (use L, M or Q)"},
    UsageCase{"MicroVersion5", {"-M", "-v", "5"}, "a Micro QR code has versions 1 to 4 (M1 to M4)"},
    UsageCase{"BatchWithText", {"--batch", "l", "-o", "{n}.png", "abc"}, "--batch takes its texts from the list, not from the command line"},
    UsageCase{"BatchWithoutOutput", {"--batch", "l"}, "--batch needs -o with a file name pattern such as 'out/{n}.png'"},
    UsageCase{"BatchToStandardOutput", {"--batch", "l", "-o", "-"}, "--batch needs -o with a file name pattern such as 'out/{n}.png'"},
    UsageCase{"NulWithoutBatch", {"-0", "abc"}, "-0 and -j work only with --batch"},
    UsageCase{"JobsWithoutBatch", {"-j", "2", "abc"}, "-0 and -j work only with --batch"},
    UsageCase{"TwoTexts", {"a", "b"}, "one text only (quote a text that holds spaces)"}), kNamed);
// clang-format on

// Each number up to its largest; the classic options alone are no picture options.
TEST(ParseArguments, OptionsReachTheSettingsUpToTheirLimits) {
    const PictureSettings s =
        Parsed({"-l", "q", "-m", "0", "-s", "7", "-d", "100000", "-v", "40", "abc"}).settings;
    EXPECT_EQ(std::tie(s.level, s.margin, s.moduleSize, s.dpi, s.minVersion),
              std::tuple(2, 0, 7, 100000u, 40));
    EXPECT_FALSE(Parsed({"-l", "H", "-m", "1", "-s", "2", "-"}).settings.HasOwnOptions());
    const PictureSettings micro = Parsed({"-M", "-l", "Q", "-v", "4", "1"}).settings;
    EXPECT_TRUE(micro.micro && micro.level == 2 && micro.minVersion == 4);  // Micro at its top
    EXPECT_EQ(Parsed({"--batch", "-", "-j", "1024", "-o", "{n}.png"}).jobs, 1024u);
}

struct PatternCase {
    std::string name, pattern;
    uint64_t number;
    std::string expected;  // the file name, or the error
};

class OutputPatterns : public testing::TestWithParam<PatternCase> {};

TEST_P(OutputPatterns, NameEachRecordOrSayWhyNot) {
    std::string error;
    const std::optional<OutputPattern> pattern = OutputPattern::Parse(GetParam().pattern, error);
    EXPECT_EQ(pattern ? pattern->NameFor(GetParam().number) : error, GetParam().expected);
}

const std::string kNeedsN = " needs {n} (the line number), or every picture goes to one file";
// clang-format off
INSTANTIATE_TEST_SUITE_P(Batch, OutputPatterns, testing::Values(
    PatternCase{"PaddedAndPlainTwice", "{n:3}-{n}{n:1}.png", 42, "042-4242.png"},
    PatternCase{"WiderThanPadding", "{n:2}", 123, "123"},
    PatternCase{"WidestPadding", "{n:20}", 18446744073709551615u, "18446744073709551615"},
    PatternCase{"OtherBracesStay", "{x}{n}{n", 5, "{x}5{n"},
    PatternCase{"WithoutNumber", "same.png", 1, "the batch file name pattern same.png" + kNeedsN},
    PatternCase{"UnclosedNumber", "{n.png", 1, "the batch file name pattern {n.png" + kNeedsN},
    PatternCase{"WidthZero", "{n:0}.png", 1, "in {n:0}.png: the width in {n:W} must be 1 to 20"},
    PatternCase{"WidthAboveRange", "{n:21}", 1, "in {n:21}: the width in {n:W} must be 1 to 20"},
    PatternCase{"WidthNotNumber", "{n:2x}", 1, "in {n:2x}: the width in {n:W} must be 1 to 20"}), kNamed);
// clang-format on

struct TextCase {
    std::string name, utf8;
    std::u16string utf16;  // empty: refused
    std::string reason;
};

class Utf8Texts : public testing::TestWithParam<TextCase> {};

TEST_P(Utf8Texts, ConvertOrSayWhere) {
    std::string reason;
    const std::optional<std::u16string> text = Utf8ToUtf16(GetParam().utf8, reason);
    EXPECT_EQ(text.value_or(u""), GetParam().utf16);
    EXPECT_EQ(text ? "" : reason, GetParam().reason);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Text, Utf8Texts, testing::Values(
    TextCase{"EveryLength", "a\xC2\x80\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", u"a\u0080\u20AC\U0001F600\U0010FFFF", ""},
    TextCase{"Empty", "", u"", "the text is empty"},
    TextCase{"Nul", std::string("a\0b", 3), u"", "the text holds a NUL byte at byte 2"},
    TextCase{"OverlongThreeBytes", "\xE0\x9F\xBF", u"", "invalid UTF-8 at byte 1"},
    TextCase{"OverlongFourBytes", "\xF0\x8F\xBF\xBF", u"", "invalid UTF-8 at byte 1"},
    TextCase{"AboveLastCodePoint", "\xF4\x90\x80\x80", u"", "invalid UTF-8 at byte 1"},
    TextCase{"LoneContinuation", "a\x80", u"", "invalid UTF-8 at byte 2"},
    TextCase{"CutShort", "ab\xE2\x82", u"", "invalid UTF-8 at byte 3"},
    TextCase{"BrokenContinuation", "\xE2\x28\xA1", u"", "invalid UTF-8 at byte 1"}), kNamed);
// clang-format on

struct ListCase {
    std::string name, list;
    RecordEnd end;
    std::vector<std::string> records;
};

class BatchLists : public testing::TestWithParam<ListCase> {};

// Counted ahead (the file then rewound) and read record by record, numbered from 1.
TEST_P(BatchLists, ReadAsTheirRecords) {
    const auto file = FileOf(GetParam().list);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(CountRecords(file.get(), GetParam().end), GetParam().records.size());
    RecordReader reader(file.get(), GetParam().end);
    std::vector<std::string> records;
    std::string record;
    for (uint64_t number = 0; reader.Next(record, number);) {
        records.push_back(record);
        EXPECT_EQ(number, records.size());
    }
    EXPECT_EQ(records, GetParam().records);
    EXPECT_EQ(reader.Error(), 0);
}

const std::string kMark = "\xEF\xBB\xBF";
const std::string kTooLong(RecordReader::kLongest + 1, 'x');
// clang-format off
INSTANTIATE_TEST_SUITE_P(Batch, BatchLists, testing::Values(
    ListCase{"Empty", "", RecordEnd::Line, {}},
    ListCase{"CrlfWithByteOrderMark", kMark + "alpha\r\nbeta\r\n", RecordEnd::Line, {"alpha", "beta"}},
    ListCase{"MarkOnlyAtTheStart", "a\r\r\n" + kMark + "b\n", RecordEnd::Line, {"a\r", kMark + "b"}},
    ListCase{"LongLineCutAsItIs", kMark + kTooLong + "yy\r\nnext", RecordEnd::Line, {kMark + kTooLong.substr(3), "next"}},
    ListCase{"NulByteForByte", kMark + "alpha\r" + std::string(1, '\0') + "beta\r\n", RecordEnd::Nul, {kMark + "alpha\r", "beta\r\n"}}), kNamed);
// clang-format on

}  // namespace
