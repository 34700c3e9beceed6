// The window logic both programs share, run natively and under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "app_folder_rule.h"
#include "create_decisions.h"
#include "file_identity.h"
#include "resource_file.h"
#include "text_rules.h"

namespace fs = std::filesystem;

namespace {

// The UTF-8 (Windows) or byte (POSIX) path string the logic takes.
std::string Narrow(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// A fresh folder whose name has Cyrillic letters and a space; removed after.
class Scratch : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        folder_ = fs::temp_directory_path() / fs::path(u8"папка qr ");
        folder_ += std::to_string(random());
        ASSERT_TRUE(fs::create_directory(folder_));
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

}  // namespace

TEST(TextRules, OnlySpacesAreTrimmedAndOnlyTheyKeepCreateOff) {
    const struct {
        std::u16string text, trimmed;
        bool create;
    } rows[] = {
        {u"", u"", false},    {u"   ", u"", false},          {u" я", u"я", true},
        {u"\n", u"\n", true}, {u"a\nb\n ", u"a\nb\n", true}, {u"\u00a0", u"\u00a0", true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TrimSpaces(row.text), row.trimmed);
        EXPECT_EQ(CreateEnabledFor(row.text), row.create);
    }
}

TEST(TextRules, MarginIsValRoundedHalfToEven) {
    const struct {
        std::u16string text;
        int32_t margin;
    } rows[] = {{u"1", 1},
                {u" 1 5x", 15},
                {u"+2.5", 2},
                {u"3.5", 4},
                {u"12e", 12},
                {u"", 0},
                {u"x1", 0},
                {u"-0.5", 0},
                {u"1e3", 1000},
                {u"1e99", 2147483647},
                {u"-1e99", -2147483647 - 1},
                {u"inf", 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(MarginFromSizeText(row.text), row.margin);
    }
}

TEST(ApplicationFolder, OverrideThenOwnWritableFolderThenPerUserFolder) {
    const struct {
        const char* overridden;
        bool writable;
        const char* perUser;
        std::string expected;
    } rows[] = {
        {"/o/", true, "/r", "/o/"},
        {"", true, "/r", "/exe"},
        {"", false, "/r", JoinPath("/r", "qrgenerator")},
        {"", false, "", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ChooseApplicationFolder({row.overridden, "/exe", row.writable, row.perUser}),
                  row.expected);
    }
    // A folder that ends in the separator (a drive's root) gives two in a row.
    const std::string root = std::string("C:") + kPathSeparator;
    EXPECT_EQ(JoinPath(root, "QR.bmp"), root + kPathSeparator + "QR.bmp");
}

TEST(CreateDecisions, OnlyANewFileIsSuccessAndOnlyTheLibrarysReasonMeansTooLong) {
    const FileIdentity none, old{true, 1, 2, 3, 4, 5}, fresh{true, 1, 9, 3, 4, 5};
    const struct {
        bool textTooLong;
        FileIdentity before, after;
        CreateResult expected;
    } rows[] = {
        {false, none, fresh, CreateResult::Written},
        {false, old, fresh, CreateResult::Written},
        {true, old, old, CreateResult::TextDoesNotFit},
        {false, old, old, CreateResult::FileNotWritten},
        {false, none, none, CreateResult::FileNotWritten},
        {false, old, none, CreateResult::FileNotWritten},  // deleted, nothing new
    };
    for (const auto& row : rows) {
        EXPECT_EQ(JudgeCreate(row.textTooLong, row.before, row.after), row.expected);
    }
    EXPECT_TRUE(ShouldDeleteOnClose(fresh, fresh));
    EXPECT_FALSE(ShouldDeleteOnClose(fresh, old));         // replaced by someone else
    EXPECT_FALSE(ShouldDeleteOnClose(std::nullopt, old));  // never written by this window
    EXPECT_FALSE(ShouldDeleteOnClose(fresh, none));        // gone already
}

TEST_F(Scratch, IdentityTellsARewrittenOrReplacedFile) {
    const fs::path path = folder_ / "QR.bmp";
    EXPECT_FALSE(IdentityOf(Narrow(path)).exists);
    WriteFile(path, "one");
    const FileIdentity first = IdentityOf(Narrow(path));
    EXPECT_TRUE(first.exists);
    EXPECT_EQ(first.size, 3);
    WriteFile(folder_ / "other", "two");
    fs::rename(folder_ / "other", path);
    EXPECT_NE(IdentityOf(Narrow(path)), first);
}

TEST_F(Scratch, ExtractionWritesExactlyAndLeavesAnIdenticalFileAlone) {
    const std::string content = std::string("MZ\0\1", 4) + std::string(5000, 'q');
    for (const std::string& before :
         {std::string(), content, content + std::string(4096, 'x'), std::string("MZ")}) {
        const fs::path path = folder_ / "qrimage32.dll";
        if (!before.empty()) {
            WriteFile(path, before);
        }
        const FileIdentity identityBefore = IdentityOf(Narrow(path));
        const ExtractedFile result = ExtractResourceFile(Narrow(folder_), "qrimage32.dll", content);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.path, JoinPath(Narrow(folder_), "qrimage32.dll"));
        EXPECT_EQ(ReadFile(path), content);
        EXPECT_EQ(IdentityOf(Narrow(path)) == identityBefore, before == content);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
        fs::remove(path);
    }
}

TEST_F(Scratch, ExtractionFailuresAreReportedAndLeaveNothing) {
    const std::string missing = Narrow(folder_ / "missing");
    EXPECT_NE(ExtractResourceFile(missing, "qrimage32.dll", "bytes").error, "");
    EXPECT_NE(ExtractResourceFile(Narrow(folder_), "", "bytes").error, "");
    EXPECT_NE(ExtractResourceFile(Narrow(folder_), "qrimage32.dll", "").error, "");
    EXPECT_TRUE(fs::is_empty(folder_));
}
