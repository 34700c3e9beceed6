// The file replacement in-process, on real files in a folder of the test's
// own: what a failed or abandoned write leaves, whose a replaced file is,
// and the reasons ReplaceFileWith gives back.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "file_replacement.h"

namespace {

namespace fs = std::filesystem;
using qrimage::AtomicFile;
using qrimage::Ownership;
using qrimage::ReplaceFileWith;
using Names = std::set<std::string>;

class FileReplacement : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "file-replacement-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string In(const std::string& name) const { return (folder_ / name).string(); }
    void Write(const std::string& name, const std::string& bytes, fs::perms mode) const {
        std::ofstream(In(name), std::ios::binary) << bytes;
        fs::permissions(In(name), mode);
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(In(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::perms Mode(const std::string& name) const { return fs::status(In(name)).permissions(); }
    Names Entries() const {
        Names names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

  private:
    fs::path folder_;
};

// Sets the umask for a scope.
struct ScopedUmask {
    explicit ScopedUmask(mode_t mask) : previous(umask(mask)) {}
    ~ScopedUmask() { umask(previous); }
    mode_t previous;
};

TEST_F(FileReplacement, FailedWriteFailsCommitAndKeepsTheOldBytes) {
    Write("target", "old", fs::perms(0644));
    std::optional<AtomicFile> file = AtomicFile::Open(In("target"), 0);
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
    EXPECT_EQ(Read("target"), "old");
    EXPECT_EQ(Entries(), Names{"target"});
}

TEST_F(FileReplacement, WriterDestroyedWithoutCommitLeavesNothing) {
    Write("target", "old", fs::perms(0644));
    for (const char* name : {"target", "new"}) {
        std::optional<AtomicFile> file = AtomicFile::Open(In(name), 4);
        ASSERT_TRUE(file) << name;
        EXPECT_TRUE(file->Write("new bytes", 9));
    }
    EXPECT_EQ(Read("target"), "old");
    EXPECT_EQ(Entries(), Names{"target"});
}

// The caller's own file, whoever's the name led to: a link there is
// replaced, and the mode drops write for group and others besides the umask.
TEST_F(FileReplacement, CallersAloneReplacesALinkWithAFileNobodyElseMayWrite) {
    Write("real", "old", fs::perms(0666));
    fs::create_symlink("real", In("link"));
    const ScopedUmask mask(070);
    EXPECT_EQ(ReplaceFileWith(In("link"), "new", Ownership::CallersAlone), 0u);
    EXPECT_FALSE(fs::is_symlink(In("link")));
    EXPECT_EQ(Read("link"), "new");
    EXPECT_EQ(Mode("link"), fs::perms(0604));
    EXPECT_EQ(Read("real"), "old");
}

// As a caller that opens, truncates and writes in place: a link is followed
// and the file it leads to keeps its mode; a new file gets 0666 less the umask.
TEST_F(FileReplacement, KeepTargetIsAnInPlaceRewrite) {
    Write("real", "old", fs::perms(0604));
    fs::create_symlink("real", In("link"));
    const ScopedUmask mask(002);
    EXPECT_EQ(ReplaceFileWith(In("link"), "new"), 0u);
    EXPECT_EQ(ReplaceFileWith(In("fresh"), "new"), 0u);
    EXPECT_TRUE(fs::is_symlink(In("link")));
    EXPECT_EQ(Read("real"), "new");
    EXPECT_EQ(Mode("real"), fs::perms(0604));
    EXPECT_EQ(Mode("fresh"), fs::perms(0664));
}

struct Refusal {
    const char* name;
    const char* path;  // in the test's folder, which holds "dir" and "fifo"
    uint32_t error;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.name;
}

class Refusals : public FileReplacement, public testing::WithParamInterface<Refusal> {};

// ReplaceFileWith gives the reason back as the errno, and leaves it as the
// thread's errno too; nothing is made.
TEST_P(Refusals, ReturnTheErrnoAndMakeNothing) {
    fs::create_directory(In("dir"));
    ASSERT_EQ(mkfifo(In("fifo").c_str(), 0600), 0);
    errno = 0;
    EXPECT_EQ(ReplaceFileWith(In(GetParam().path), "new"), GetParam().error);
    EXPECT_EQ(uint32_t(errno), GetParam().error);
    EXPECT_EQ(Entries(), (Names{"dir", "fifo"}));
    EXPECT_TRUE(fs::is_empty(In("dir")));
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
