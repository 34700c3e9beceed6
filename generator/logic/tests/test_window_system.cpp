// The window's system services on real files and the built library, natively and under Wine.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include "left_out_where_emulated.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "app_folder_rule.h"
#include "file_identity.h"
#include "operating_system.h"
#include "prepare_start.h"
#include "resource_file.h"

namespace {

namespace fs = std::filesystem;

// The UTF-8 (Windows) or byte (POSIX) path string the logic takes.
std::string Narrow(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

// A fresh folder whose name has Cyrillic letters and a space; removed after each test.
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

using Binding = Scratch;

}  // namespace

#if !defined(_WIN32)
// As root (the program's folder is not to be used), a per-user folder others may change is refused
// with the reason in the window's language (no other case reads HOME or XDG_RUNTIME_DIR).
TEST_F(Scratch, APerUserFolderOthersMayChangeIsRefusedSayingWhyInRussian) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "the program's folder is root's only when run as root";
    }
    fs::permissions(folder_, fs::perms::all);
    setenv("HOME", (folder_ / "home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    const std::string refusal = PrepareStart("qrimage32.dll", "bytes").problem.value().text;
    EXPECT_NE(refusal.find("Другие пользователи могут изменять папку " + Narrow(folder_) + "."),
              std::string::npos);
}
#endif

// Over nothing, the same bytes (left alone), a longer and a shorter file; on POSIX also the same
// bytes others could rewrite after the check (others may write, another user's): made our own.
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
    EXPECT_TRUE(fs::is_empty(folder_));
}

// Arguments reach the real library as given (10 bytes take 25 modules at H); its file is removed.
TEST_F(Binding, MakesThePictureAskedForAndRemovesIt) {
    OperatingSystem system(QRIMAGE_LIBRARY_FILE);
    const std::string picture = Narrow(folder_ / "QR.bmp");
    const PictureCall call = system.MakePicture(picture, u"слово", 1, 5, 3);
    EXPECT_EQ(call.libraryError + call.reason, "");
    char header[22] = {};  // a BMP's: "BM", ..., its width in pixels from byte 18 on
    std::ifstream(folder_ / "QR.bmp", std::ios::binary).read(header, sizeof header);
    EXPECT_EQ(header[0] == 'B' ? uint8_t(header[18]) | uint8_t(header[19]) << 8 : 0,
              (25 + 2 * 1) * 5);
    EXPECT_TRUE(system.IdentityOf(picture).exists);
    EXPECT_EQ(system.RemoveFile(picture), "");
    EXPECT_FALSE(system.IdentityOf(picture).exists);
}

// Only the library's "no symbol holds the text" is a text too long.
TEST_F(Binding, TellsATextTooLongFromAFileNotWritten) {
    OperatingSystem system(QRIMAGE_LIBRARY_FILE);
    EXPECT_TRUE(system.MakePicture(Narrow(folder_ / "QR.bmp"), std::u16string(1000, u'ё'), 1, 5, 3)
                    .textTooLong);
    const PictureCall noFolder =
        system.MakePicture(Narrow(folder_ / "missing" / "QR.bmp"), u"x", 1, 5, 3);
    EXPECT_FALSE(noFolder.textTooLong);
    EXPECT_NE(noFolder.reason, "");
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(Binding, ALibraryThatDoesNotLoadIsReported) {
    OperatingSystem system(Narrow(folder_ / "missing.dll"));
    EXPECT_NE(system.MakePicture(Narrow(folder_ / "QR.bmp"), u"x", 1, 5, 3).libraryError, "");
    EXPECT_TRUE(fs::is_empty(folder_));
}

#if defined(_WIN32)
// Library calls also hang qemu-i386; the 32-bit window test still makes pictures through it.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    LeaveOutWhereEmulated("Binding.*",
                          "library calls crash qemu-i386 now and then where "
                          "32-bit programs run emulated");
    return RUN_ALL_TESTS();
}
#endif
