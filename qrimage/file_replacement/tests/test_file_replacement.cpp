// The file replacement in-process, on real files in a folder of the test's
// own: what a failed or abandoned write leaves, whose a replaced file is,
// and the reasons ReplaceFileWith gives back.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>

#include "file_replacement.h"
#include "support.h"

namespace {

using namespace qrtest;
using qrimage::AtomicFile;
using qrimage::Ownership;
using qrimage::ReplaceFileWith;
using Names = std::vector<std::string>;

// Sets the umask for a scope.
struct ScopedUmask {
    explicit ScopedUmask(mode_t mask) : previous(umask(mask)) {}
    ~ScopedUmask() { umask(previous); }
    mode_t previous;
};

fs::perms Mode(const std::string& path) {
    return fs::status(path).permissions();
}

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
    EXPECT_FALSE(written);
    EXPECT_EQ(error, EFBIG);
    EXPECT_FALSE(file->Write("y", 1));  // nothing more after a failure
    EXPECT_FALSE(file->Commit());
    file.reset();
    EXPECT_EQ(ReadFile(folder / "target"), "old");
    EXPECT_EQ(folder.Entries(), Names{"target"});
}

// Where the file system can make a file without a name (the test's folder
// can), the file has none while it is written: not even a process killed
// outright could leave it behind.
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

// The caller's own file, whoever's the name led to: a link there is
// replaced, and the mode drops write for group and others besides the umask.
TEST(FileReplacement, CallersAloneReplacesALinkWithAFileNobodyElseMayWrite) {
    const TempFolder folder;
    WriteFile(folder / "real", "old");
    fs::create_symlink("real", folder / "link");
    const ScopedUmask mask(070);
    EXPECT_EQ(ReplaceFileWith(folder / "link", "new", Ownership::CallersAlone), 0u);
    EXPECT_FALSE(fs::is_symlink(folder / "link"));
    EXPECT_EQ(ReadFile(folder / "link"), "new");
    EXPECT_EQ(Mode(folder / "link"), fs::perms(0604));
    EXPECT_EQ(ReadFile(folder / "real"), "old");
}

// As a caller that opens, truncates and writes in place: a link is followed
// and the file it leads to keeps its mode; a new file gets 0666 less the umask.
TEST(FileReplacement, KeepTargetIsAnInPlaceRewrite) {
    const TempFolder folder;
    WriteFile(folder / "real", "old");
    fs::permissions(folder / "real", fs::perms(0604));
    fs::create_symlink("real", folder / "link");
    const ScopedUmask mask(002);
    EXPECT_EQ(ReplaceFileWith(folder / "link", "new"), 0u);
    EXPECT_EQ(ReplaceFileWith(folder / "fresh", "new"), 0u);
    EXPECT_TRUE(fs::is_symlink(folder / "link"));
    EXPECT_EQ(ReadFile(folder / "real"), "new");
    EXPECT_EQ(Mode(folder / "real"), fs::perms(0604));
    EXPECT_EQ(Mode(folder / "fresh"), fs::perms(0664));
}

struct Refusal {
    const char* name;
    const char* path;  // in a folder that holds "dir" and "fifo"
    uint32_t error;
};

class Refusals : public testing::TestWithParam<Refusal> {};

// ReplaceFileWith gives the reason back as the errno, and leaves it as the
// thread's errno too; nothing is made.
TEST_P(Refusals, ReturnTheErrnoAndMakeNothing) {
    const TempFolder folder;
    fs::create_directory(folder / "dir");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    errno = 0;
    EXPECT_EQ(ReplaceFileWith(folder / GetParam().path, "new"), GetParam().error);
    EXPECT_EQ(uint32_t(errno), GetParam().error);
    EXPECT_EQ(folder.Entries(), (Names{"dir", "fifo"}));
    EXPECT_TRUE(fs::is_empty(folder / "dir"));
}

const Refusal kRefusals[] = {
    {"Folder", "dir", EISDIR},
    {"NameEndingInSlash", "new/", EISDIR},
    {"Fifo", "fifo", EINVAL},
    {"MissingFolder", "missing/new", ENOENT},
};
INSTANTIATE_TEST_SUITE_P(FileReplacement, Refusals, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
