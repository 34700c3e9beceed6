// The file replacement in-process, on real files in a folder of the test's own: what a failed
// or abandoned write leaves, whose a replaced file is, and the reasons ReplaceFileWith gives.
#include <fcntl.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>

#include "file_replacement.h"
#include "support.h"

namespace {

using namespace qrtest;
using namespace qrimage;
using Names = std::vector<std::string>;

TEST(FileReplacement, FailedWriteFailsCommitAndKeepsTheOldBytes) {
    const TempFolder folder;
    WriteFile(folder / "target", "old");
    std::optional<AtomicFile> file = AtomicFile::Open(folder / "target", 0);
    ASSERT_TRUE(file);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{10, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = file->Write(std::string(100, 'x').data(), 100);
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(std::pair(written, error), std::pair(false, EFBIG));
    EXPECT_FALSE(file->Write("y", 1));  // nothing more after a failure
    EXPECT_FALSE(file->Commit());
    file.reset();
    EXPECT_EQ(ReadFile(folder / "target"), "old");
    EXPECT_EQ(folder.Entries(), Names{"target"});
}

// Where the file system can make a file without a name (the test's folder can), the file has
// none while it is written: not even a process killed outright could leave it behind.
TEST(FileReplacement, WriterDestroyedWithoutCommitLeavesNothing) {
    const TempFolder folder;
    WriteFile(folder / "target", "old");
    for (const char* name : {"target", "new"}) {
        std::optional<AtomicFile> file = AtomicFile::Open(folder / name, 4);
        ASSERT_TRUE(file) << name;
        EXPECT_TRUE(file->Write("new bytes", 9));
        EXPECT_EQ(folder.Entries(), Names{"target"}) << "a name while written";
    }
    EXPECT_EQ(ReadFile(folder / "target"), "old");
    EXPECT_EQ(folder.Entries(), Names{"target"});
}

// KeepTarget writes in place: a link is followed, its file keeps its mode, a new file gets 0666
// less the umask. CallersAlone replaces a link with the caller's own file, without others' write.
TEST(FileReplacement, KeepTargetFollowsLinksCallersAloneReplacesThem) {
    const TempFolder folder;
    WriteFile(folder / "real", "old");
    fs::permissions(folder / "real", fs::perms(0640));
    fs::create_symlink("real", folder / "link");
    fs::create_symlink("real", folder / "mine");
    const mode_t previous = umask(070);
    EXPECT_EQ(ReplaceFileWith(folder / "link", "new"), 0u);
    EXPECT_EQ(ReplaceFileWith(folder / "fresh", "new"), 0u);
    EXPECT_EQ(ReplaceFileWith(folder / "mine", "own", Ownership::CallersAlone), 0u);
    umask(previous);
    EXPECT_TRUE(fs::is_symlink(folder / "link"));
    EXPECT_EQ(ReadFile(folder / "real"), "new");
    EXPECT_EQ(ReadFile(folder / "mine"), "own");
    EXPECT_FALSE(fs::is_symlink(folder / "mine"));
    EXPECT_EQ(fs::status(folder / "real").permissions(), fs::perms(0640));
    EXPECT_EQ(fs::status(folder / "fresh").permissions(), fs::perms(0606));
    EXPECT_EQ(fs::status(folder / "mine").permissions(), fs::perms(0604));
}

// A program may run with its standard streams closed: a descriptor 0-2 of the writer's would
// take what the program later writes to standard output, so the file is made above them.
TEST(FileReplacement, NeverTakesAStandardDescriptor) {
    const TempFolder folder;
    int saved[3];
    for (int fd = 0; fd < 3; ++fd) {
        saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    }
    close_range(0, 2, 0);
    std::optional<AtomicFile> file = AtomicFile::Open(folder / "new", 0);
    int standardInUse = 0;
    for (int fd = 0; fd < 3; ++fd) {
        standardInUse += fcntl(fd, F_GETFD) != -1;
    }
    const bool committed = file && file->Write("x", 1) && file->Commit();
    for (int fd = 0; fd < 3; ++fd) {
        dup2(saved[fd], fd), close(saved[fd]);
    }
    EXPECT_EQ(standardInUse, 0);
    EXPECT_TRUE(committed);
    EXPECT_EQ(ReadFile(folder / "new"), "x");
}

TEST(FileReplacement, RefusalsReturnTheErrnoAndMakeNothing) {
    const TempFolder folder;
    fs::create_directory(folder / "dir");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    const std::pair<const char*, uint32_t> refusals[] = {
        {"dir", EISDIR}, {"new/", EISDIR}, {"fifo", EINVAL}, {"missing/new", ENOENT}};
    for (const auto& [path, error] : refusals) {
        SCOPED_TRACE(path);
        errno = 0;
        EXPECT_EQ(ReplaceFileWith(folder / path, "new"), error);
        EXPECT_EQ(uint32_t(errno), error);
    }
    EXPECT_EQ(folder.Entries(), (Names{"dir", "fifo"}));
    EXPECT_TRUE(fs::is_empty(folder / "dir"));
}

}  // namespace
