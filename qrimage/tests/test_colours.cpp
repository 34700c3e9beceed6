#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../src/colour_object_name.h"
#include "library_copy.h"
#include "qrimage.h"

namespace {

// Every test works on its own copy of the library file, so it starts from
// the defaults and its colours reach nobody else.
class Colours : public testing::Test {
  protected:
    qrtest::LibraryCopy library;
    decltype(&GetForegroundColor) getForeground = QRTEST_EXPORT(library, GetForegroundColor);
    decltype(&GetBackgroundColor) getBackground = QRTEST_EXPORT(library, GetBackgroundColor);
    decltype(&SetForegroundColor) setForeground = QRTEST_EXPORT(library, SetForegroundColor);
    decltype(&SetBackgroundColor) setBackground = QRTEST_EXPORT(library, SetBackgroundColor);

    // Runs colour_peer on the same library file in a fresh process (fork and
    // exec) and returns what it printed.
    std::string RunPeer(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {QRIMAGE_COLOUR_PEER, library.Path()});
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) {
            ADD_FAILURE() << "pipe";
            return {};
        }
        const pid_t child = fork();
        if (child == 0) {
            dup2(pipeEnds[1], STDOUT_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        std::string output;
        char buffer[256];
        for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
            output.append(buffer, std::size_t(n));
        }
        close(pipeEnds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "colour_peer failed";
        return output;
    }
};

TEST_F(Colours, DefaultsWhileNobodyHasSetThem) {
    EXPECT_EQ(getBackground(), 0xFFFFFFFFu);
    EXPECT_EQ(getForeground(), 0xFF000000u);
}

TEST_F(Colours, StoresAllFourBytesOfEachWordSeparately) {
    for (const COLORREF colour : {0x12345678u, 0x00000000u, 0xFFFFFFFFu, 0x00FF0000u, 0xFF000000u,
                                  0x80000001u, 0x00FFFFFFu}) {
        setForeground(colour);
        EXPECT_EQ(getForeground(), colour);
        setBackground(~colour);
        EXPECT_EQ(getBackground(), ~colour);
        EXPECT_EQ(getForeground(), colour);
    }
}

TEST_F(Colours, SharedWithAnotherProcessOfTheSameLibraryFile) {
    EXPECT_EQ(RunPeer({"get"}), "ff000000 ffffffff\n");
    setForeground(0x00FF0000u);
    setBackground(0x12345678u);
    EXPECT_EQ(RunPeer({"get"}), "00ff0000 12345678\n");
    RunPeer({"set", "abcdef01", "0"});
    EXPECT_EQ(getForeground(), 0xABCDEF01u);
    EXPECT_EQ(getBackground(), 0u);
}

TEST_F(Colours, AnotherLibraryFileHasItsOwnColours) {
    setForeground(0x00FF0000u);
    const qrtest::LibraryCopy other;
    EXPECT_EQ(QRTEST_EXPORT(other, GetForegroundColor)(), 0xFF000000u);
    EXPECT_EQ(getForeground(), 0x00FF0000u);
}

std::string ColourObjectPath(const std::string& libraryFile) {
    struct stat identity {};
    EXPECT_EQ(stat(libraryFile.c_str(), &identity), 0);
    return "/dev/shm" + qrimage::ColourObjectName(geteuid(), identity);
}

TEST_F(Colours, SharedObjectIsPrivateToTheUser) {
    getForeground();
    struct stat object {};
    ASSERT_EQ(stat(ColourObjectPath(library.Path()).c_str(), &object), 0);
    EXPECT_EQ(object.st_uid, geteuid());
    EXPECT_EQ(object.st_mode & 0777, 0600u);
}

// Somebody else created the object first: their object must neither see nor
// change our colours, which then stay within the process.
TEST_F(Colours, ForeignObjectIsNotUsed) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to create an object owned by another user";
    }
    const std::string path = ColourObjectPath(library.Path());
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchown(fd, 65534, 65534), 0);
    ASSERT_EQ(ftruncate(fd, 8), 0);
    close(fd);

    EXPECT_EQ(getForeground(), 0xFF000000u);
    setForeground(0x00FF0000u);
    EXPECT_EQ(getForeground(), 0x00FF0000u);
    EXPECT_EQ(RunPeer({"get"}), "ff000000 ffffffff\n");
    char bytes[8];
    const int reread = open(path.c_str(), O_RDONLY);
    ASSERT_GE(reread, 0);
    ASSERT_EQ(read(reread, bytes, sizeof bytes), 8);
    close(reread);
    EXPECT_EQ(std::string(bytes, 8), std::string(8, '\0'));
}

}  // namespace
