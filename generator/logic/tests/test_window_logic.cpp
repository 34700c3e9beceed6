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

// A fresh folder whose name has Cyrillic letters and a space; removed after.
class Scratch : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / fs::path(u8"папка qr ");
        folder_ += std::to_string(std::random_device()());
        ASSERT_TRUE(fs::create_directory(folder_));
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

}  // namespace

// The size list's items, and how halves round (to even) and words read.
TEST(TextRules, MarginIsValRoundedHalfToEven) {
    const struct {
        std::u16string text;
        int32_t margin;
    } rows[] = {{u"1", 1}, {u"25", 25}, {u"2.5", 2}, {u"3.5", 4}, {u"inf", 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(MarginFromSizeText(row.text), row.margin);
    }
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

// Over nothing, the same bytes (left alone), a longer file and a shorter one.
TEST_F(Scratch, ExtractionWritesExactlyAndLeavesAnIdenticalFileAlone) {
    const std::string content = std::string("MZ\0\1", 4) + std::string(5000, 'q');
    const fs::path path = folder_ / "qrimage32.dll";
    for (const std::string& before : {std::string(), content, content + "x", std::string("MZ")}) {
        if (!before.empty()) {
            std::ofstream(path, std::ios::binary) << before;
        }
        const FileIdentity identityBefore = IdentityOf(Narrow(path));
        const ExtractedFile result = ExtractResourceFile(Narrow(folder_), "qrimage32.dll", content);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.path, JoinPath(Narrow(folder_), "qrimage32.dll"));
        std::ifstream file(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), content);
        EXPECT_EQ(IdentityOf(Narrow(path)) == identityBefore, before == content);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
        file.close();
        fs::remove(path);
    }
}

TEST_F(Scratch, ExtractionFailuresAreReportedAndLeaveNothing) {
    EXPECT_NE(ExtractResourceFile(Narrow(folder_ / "missing"), "qrimage32.dll", "bytes").error, "");
    EXPECT_NE(ExtractResourceFile(Narrow(folder_), "", "bytes").error, "");
    EXPECT_NE(ExtractResourceFile(Narrow(folder_), "qrimage32.dll", "").error, "");
    EXPECT_TRUE(fs::is_empty(folder_));
}
