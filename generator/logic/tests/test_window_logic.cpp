// The window logic both programs share, run natively and under Wine.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// A folder that someone else could change is passed over for the per-user one.
TEST(FolderRule, AFolderOthersMayChangeIsNotTheApplicationFolder) {
    const struct {
        std::string perUserBase, expected;
    } rows[] = {
        {"/run/user/1000", JoinPath("/run/user/1000", "qrgenerator")},
        {"", ""},
    };
    for (const auto& row : rows) {
        const FolderFacts facts{.overridden = "",
                                .executableFolder = "/tmp",
                                .executableFolderWritable = true,
                                .executableFolderShared = true,
                                .perUserBase = row.perUserBase};
        EXPECT_EQ(ChooseApplicationFolder(facts), row.expected);
    }
}

// Over nothing, the same bytes (left alone), a longer file and a shorter one;
// on POSIX systems also the same bytes where someone else could rewrite them
// in place after the check (group and others may write, another user's copy):
// replaced by this user's own, which nobody else may write to.
TEST_F(Scratch, ExtractionWritesExactlyAndLeavesOnlyAnOwnIdenticalFileAlone) {
    const std::string content = std::string("MZ\0\1", 4) + std::string(5000, 'q');
    const fs::path path = folder_ / "qrimage32.dll";
    const struct {
        std::string before;
        bool othersMayWrite = false, anotherUsers = false;
    } rows[] = {
        {std::string()},
        {content},
        {content + "x"},
        {std::string("MZ")},
#if !defined(_WIN32)
        {content, true},
        {content, false, true},
#endif
    };
    for (const auto& row : rows) {
#if !defined(_WIN32)
        if (row.anotherUsers && geteuid() != 0) {
            continue;  // only root can give a file away
        }
        const mode_t umaskBefore = umask(022);
#endif
        if (!row.before.empty()) {
            std::ofstream(path, std::ios::binary) << row.before;
        }
#if !defined(_WIN32)
        ASSERT_EQ((row.othersMayWrite ? chmod(path.c_str(), 0666) : 0) |
                      (row.anotherUsers ? chown(path.c_str(), 4242, 4242) : 0),
                  0);
#endif
        const FileIdentity identityBefore = IdentityOf(Narrow(path));
        const ExtractedFile result = ExtractResourceFile(Narrow(folder_), "qrimage32.dll", content);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.path, JoinPath(Narrow(folder_), "qrimage32.dll"));
        std::ifstream file(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), content);
        EXPECT_EQ(IdentityOf(Narrow(path)) == identityBefore,
                  row.before == content && !row.othersMayWrite && !row.anotherUsers);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
#if !defined(_WIN32)
        umask(umaskBefore);
        struct stat status {};
        EXPECT_TRUE(lstat(path.c_str(), &status) == 0 && status.st_uid == geteuid() &&
                    (status.st_mode & 07777) == 0644);
#endif
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
