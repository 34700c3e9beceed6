// Atomic file replacement: content, links, permission bits, refused targets,
// a full file system and a caller without write permission. The last two run
// the real exports too.
#include "atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <qrimage.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "colour_object_name.h"
#include "output_test_support.h"

namespace {

using qrimage::AtomicFile;
using qrtest::ReadFile;
using qrtest::TempFolder;
using qrtest::Wide;

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

bool IsLink(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool WriteAndCommit(const std::string& path, const std::vector<std::string>& pieces,
                    std::size_t bufferBytes = 0) {
    std::optional<AtomicFile> file = AtomicFile::Open(path, bufferBytes);
    if (!file) {
        return false;
    }
    for (const std::string& piece : pieces) {
        file->Write(piece.data(), piece.size());
    }
    return file->Commit();
}

TEST(AtomicFile, CommittedFileHoldsExactlyThePiecesWritten) {
    const std::vector<std::vector<std::string>> pieceLists = {
        {},
        {"a"},
        {"abc", "", "defgh", std::string(10000, 'x'), "yz", std::string(4096, 'q')},
    };
    for (const std::size_t bufferBytes : {std::size_t(0), std::size_t(5), std::size_t(4096)}) {
        for (const auto& pieces : pieceLists) {
            SCOPED_TRACE(testing::Message()
                         << "buffer " << bufferBytes << ", " << pieces.size() << " pieces");
            TempFolder folder;
            qrtest::WriteFile(folder / "target", "a longer earlier content that must all go");
            ASSERT_TRUE(WriteAndCommit(folder / "target", pieces, bufferBytes));
            std::string expected;
            for (const std::string& piece : pieces) {
                expected += piece;
            }
            EXPECT_EQ(ReadFile(folder / "target"), expected);
            EXPECT_EQ(folder.Entries(), std::vector<std::string>{"target"});
        }
    }
}

TEST(AtomicFile, UncommittedWriteLeavesTargetAndFolderAsTheyWere) {
    TempFolder folder;
    {
        std::optional<AtomicFile> file = AtomicFile::Open(folder / "new", 16);
        ASSERT_TRUE(file);
        file->Write("partial", 7);
        EXPECT_EQ(folder.Entries().size(), 1u);  // the temporary file, under another name
    }
    EXPECT_TRUE(folder.Entries().empty());

    qrtest::WriteFile(folder / "old", "earlier");
    {
        std::optional<AtomicFile> file = AtomicFile::Open(folder / "old", 0);
        ASSERT_TRUE(file);
        file->Write("replacement", 11);
    }
    EXPECT_EQ(ReadFile(folder / "old"), "earlier");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"old"});
}

TEST(AtomicFile, LinkTargetsAreReplacedAndLinksKept) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "sub");
    qrtest::WriteFile(folder / "sub/real", "earlier");
    std::filesystem::create_symlink("sub/real", folder / "link");
    std::filesystem::create_symlink(folder / "link", folder / "sub/chain");  // absolute
    ASSERT_TRUE(WriteAndCommit(folder / "sub/chain", {"new content"}));
    EXPECT_EQ(ReadFile(folder / "sub/real"), "new content");
    EXPECT_TRUE(IsLink(folder / "link"));
    EXPECT_TRUE(IsLink(folder / "sub/chain"));

    // A dangling link gets the file it names.
    std::filesystem::create_symlink("sub/created", folder / "dangling");
    ASSERT_TRUE(WriteAndCommit(folder / "dangling", {"fresh"}));
    EXPECT_EQ(ReadFile(folder / "sub/created"), "fresh");
    EXPECT_TRUE(IsLink(folder / "dangling"));

    std::filesystem::create_symlink("loop-b", folder / "loop-a");
    std::filesystem::create_symlink("loop-a", folder / "loop-b");
    EXPECT_FALSE(WriteAndCommit(folder / "loop-a", {"x"}));
}

TEST(AtomicFile, ReplacedFileKeepsItsModeNewFileFollowsTheUmask) {
    TempFolder folder;
    for (const mode_t mode : {mode_t(0640), mode_t(0604), mode_t(0755)}) {
        qrtest::WriteFile(folder / "kept", "earlier");
        ASSERT_EQ(chmod((folder / "kept").c_str(), mode), 0);
        ASSERT_TRUE(WriteAndCommit(folder / "kept", {"new"}));
        EXPECT_EQ(ModeOf(folder / "kept"), mode);
    }
    for (const mode_t mask : {mode_t(027), mode_t(0), mode_t(077)}) {
        const mode_t previous = umask(mask);
        const bool written = WriteAndCommit(folder / "fresh", {"new"});
        umask(previous);
        ASSERT_TRUE(written);
        EXPECT_EQ(ModeOf(folder / "fresh"), 0666 & ~mask);
        std::filesystem::remove(folder / "fresh");
    }
}

TEST(AtomicFile, RefusesWhatIsNoRegularFileOrHasNoFolder) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "dir");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0666), 0);
    const std::string paths[] = {
        folder / "dir",       folder / "fifo", folder / "missing/file", folder / "dir/", "",
        folder / "fifo/below"};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(AtomicFile::Open(path, 0).has_value());
        EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"dir", "fifo"}));
        EXPECT_TRUE(std::filesystem::is_empty(folder / "dir"));
    }
}

// ---- a full file system --------------------------------------------------

// Runs `body` in a child process that has a private mount namespace with a
// 64 KiB tmpfs on `mountPoint` (as root directly, otherwise inside a user
// namespace). Returns what the body reported, "" when all was well; the child
// surviving the body is part of the check.
std::string InSmallTmpfs(const std::string& mountPoint, const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        return "pipe failed";
    }
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        auto report = [&](const std::string& message, int status) {
            (void)!write(channel[1], message.data(), message.size());
            _exit(status);
        };
        auto writeMap = [](const char* file, const std::string& content) {
            const int fd = open(file, O_WRONLY);
            const bool ok =
                fd >= 0 && write(fd, content.data(), content.size()) == ssize_t(content.size());
            if (fd >= 0) {
                close(fd);
            }
            return ok;
        };
        if (uid == 0 ? unshare(CLONE_NEWNS) != 0
                     : (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
                        !writeMap("/proc/self/setgroups", "deny") ||
                        !writeMap("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
                        !writeMap("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))) {
            report(std::string("cannot make a mount namespace: ") + strerror(errno), 3);
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
            report(std::string("cannot mount a tmpfs: ") + strerror(errno), 3);
        }
        report(body(), 0);
    }
    close(channel[1]);
    std::string reported;
    char piece[256];
    for (ssize_t n; (n = read(channel[0], piece, sizeof piece)) > 0;) {
        reported.append(piece, std::size_t(n));
    }
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return "no child process";
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child ended with status " + std::to_string(status) + ": " + reported;
    }
    return reported;
}

// Fills the file system at `folder` to within `spare` bytes.
bool FillUpTo(const std::string& folder, std::size_t spare) {
    const std::string filler = folder + "/filler";
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string block(4096, 'f');
    off_t size = 0;
    for (ssize_t n; (n = write(fd, block.data(), block.size())) > 0;) {
        size += n;
    }
    const bool ok = fd >= 0 && size > off_t(spare) && ftruncate(fd, size - off_t(spare)) == 0;
    close(fd);
    return ok;
}

TEST(AtomicFileFullDisk, FailedWritesKeepEarlierFilesAndLeaveNoTemporaryFile) {
    TempFolder folder;
    const std::string result = InSmallTmpfs(folder.Path(), [&]() -> std::string {
        const std::string bmp = folder / "QR.bmp";
        const std::string png = folder / "QR.png";
        const std::string plain = folder / "plain";
        GenerateBMPW(Wide(bmp).c_str(), u"earlier", 0, 1, 0);
        GeneratePNGW(Wide(png).c_str(), u"earlier", 1, 2, 0);
        qrtest::WriteFile(plain, "earlier");
        const auto bmpBefore = ReadFile(bmp), pngBefore = ReadFile(png);
        if (!bmpBefore || bmpBefore->size() < 1000 || !pngBefore || pngBefore->empty()) {
            return "the earlier files were not written";
        }
        const auto entriesBefore = folder.Entries();
        // A 5 MB BMP fails after its first blocks; the PNG of a large symbol
        // (some 6 KB) fails in the middle once only one page is left.
        GenerateBMPW(Wide(bmp).c_str(), Wide(std::string(1273, 'a')).c_str(), 25, 5, 3);
        if (!FillUpTo(folder.Path(), 4096)) {
            return "cannot fill the file system";
        }
        GeneratePNGW(Wide(png).c_str(), Wide(std::string(1273, 'a')).c_str(), 4, 9, 3);
        std::optional<AtomicFile> file = AtomicFile::Open(plain, 0);
        const std::string large(64 * 1024, 'x');
        const bool wrote = file && file->Write(large.data(), large.size());
        const bool committed = file && file->Commit();

        std::string problems;
        auto check = [&problems](bool holds, const char* problem) {
            if (!holds) {
                problems += std::string(problem) + "; ";
            }
        };
        check(ReadFile(bmp) == bmpBefore, "BMP changed");
        check(ReadFile(png) == pngBefore, "PNG changed");
        check(ReadFile(plain) == "earlier", "plain file changed");
        check(file && !wrote && !committed, "the plain write did not fail");
        auto entries = folder.Entries();
        std::erase(entries, "filler");
        check(entries == entriesBefore, "a temporary file was left");
        return problems;
    });
    EXPECT_EQ(result, "");
}

// ---- a caller without write permission -------------------------------------

constexpr uid_t kNobody = 65534;

// Runs the library as an unprivileged user: as root through setpriv (root
// ignores permission bits), otherwise as the current user. The helper and a
// copy of the library sit in a folder anyone can read, wherever the build
// tree is.
class UnprivilegedCaller : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(chmod(folder_.Path().c_str(), 0755), 0);
        std::filesystem::create_directory(folder_ / "bin");
        std::filesystem::copy_file(QRIMAGE_WRITE_PICTURE, helper_);
        std::filesystem::copy_file(QRIMAGE_LIBRARY_FILE, library_);
        ASSERT_EQ(chmod((folder_ / "bin").c_str(), 0755), 0);
    }
    void TearDown() override {
        // The helper's colour object: named by its user and the library copy.
        struct stat identity {};
        if (stat(library_.c_str(), &identity) == 0) {
            shm_unlink(qrimage::ColourObjectName(Caller(), identity).c_str());
        }
    }

    static bool Privileged() { return geteuid() == 0; }
    static uid_t Caller() { return Privileged() ? kNobody : geteuid(); }

    // Hands a file or folder to the unprivileged caller.
    static void GiveToCaller(const std::string& path, mode_t mode) {
        if (Privileged()) {
            ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
        }
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    }

    int Write(const std::string& format, const std::string& path) {
        std::vector<std::string> command;
        if (Privileged()) {
            command = {"setpriv", "--reuid=" + std::to_string(kNobody),
                       "--regid=" + std::to_string(kNobody), "--clear-groups", "--"};
        }
        command.insert(command.end(), {helper_, library_, format, path, "abc"});
        return qrtest::RunProgram(command);
    }

    TempFolder folder_;
    std::string helper_ = folder_ / "bin/write_picture";
    std::string library_ = folder_ / "bin/libqrimage-copy.so";
};

TEST_F(UnprivilegedCaller, WritesOnlyWhereItMay) {
    // "open": a folder the caller owns, with a read-only file in it.
    // "closed": a folder the caller may not write, with a writable file.
    std::filesystem::create_directory(folder_ / "open");
    std::filesystem::create_directory(folder_ / "closed");
    qrtest::WriteFile(folder_ / "open/readonly", "earlier");
    qrtest::WriteFile(folder_ / "closed/writable", "earlier");
    GiveToCaller(folder_ / "open", 0755);
    GiveToCaller(folder_ / "open/readonly", 0444);
    GiveToCaller(folder_ / "closed/writable", 0666);
    ASSERT_EQ(chmod((folder_ / "closed").c_str(), Privileged() ? 0755 : 0555), 0);

    for (const std::string format : {"bmp", "png"}) {
        SCOPED_TRACE(format);
        // The control: where the caller may write, the picture is made. If it
        // is not, the caller cannot be run at all and the test fails.
        ASSERT_EQ(Write(format, folder_ / "open/new"), 0);
        const auto made = ReadFile(folder_ / "open/new");
        ASSERT_TRUE(made.has_value()) << "the unprivileged caller could not write at all";
        if (format == "bmp") {
            EXPECT_EQ(made->size(), 52954u);  // "abc", margin 1, module size 5
            EXPECT_EQ(made->substr(0, 2), "BM");
        } else {
            EXPECT_EQ(made->substr(0, 4), "\x89PNG");
        }
        std::filesystem::remove(folder_ / "open/new");

        EXPECT_EQ(Write(format, folder_ / "open/readonly"), 0);
        EXPECT_TRUE(qrtest::FileHolds(folder_ / "open/readonly", "earlier"));
        EXPECT_EQ(Write(format, folder_ / "closed/new"), 0);
        EXPECT_EQ(Write(format, folder_ / "closed/writable"), 0);
        EXPECT_TRUE(qrtest::FileHolds(folder_ / "closed/writable", "earlier"));
        EXPECT_EQ(Write(format, folder_ / "missing/new"), 0);

        EXPECT_EQ(qrtest::FolderEntries(folder_ / "open"), std::vector<std::string>{"readonly"});
        EXPECT_EQ(qrtest::FolderEntries(folder_ / "closed"), std::vector<std::string>{"writable"});
    }
    ASSERT_EQ(chmod((folder_ / "closed").c_str(), 0755), 0);
}

}  // namespace
