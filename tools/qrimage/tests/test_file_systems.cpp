// The tool's files on a hostile machine: a batch killed, a full file system, a hidden /proc. Each
// case is a script run as root in a private mount namespace (its mounts end with it).
#include <gtest/gtest.h>

#include "support.h"

namespace {

using namespace qrtest;

struct Case {
    std::string name, script;  // $TOOL is the tool, $DIR a folder
    std::string expected;      // what the script prints
};

// Shared: mount_tmpfs [SIZE] mounts a fresh tmpfs on $DIR/fs; hide_proc puts a tmpfs over /proc.
const std::string kPrelude = R"sh(set -e
# The colour objects of killed processes stay in the case's own folder.
mkdir -m 700 "$DIR/run"
export XDG_RUNTIME_DIR="$DIR/run"
mount_tmpfs() {
    mkdir "$DIR/fs"
    mount -t tmpfs -o size=${1:-64m} none "$DIR/fs"
}
hide_proc() { mount -t tmpfs none /proc; }
)sh";

class HostileFileSystems : public testing::TestWithParam<Case> {};

TEST_P(HostileFileSystems, LeaveNothingBehindAndGiveHonestModes) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
#if defined(__SANITIZE_ADDRESS__)
    if (GetParam().script.find("hide_proc") != std::string::npos) {
        GTEST_SKIP() << "the sanitizers' runtime needs /proc";
    }
#endif
    const TempFolder folder;
    // The library named outright: the loader finds $ORIGIN through /proc, which some cases hide.
    const std::string command =
        "LD_LIBRARY_PATH=" + Quoted(fs::path(QRIMAGE_LIBRARY_FILE).parent_path()) +
        " TOOL=" + Quoted(QRIMAGE_TOOL) + " DIR=" + Quoted(folder.Path()) +
        " unshare -m --propagation private sh -c " + Quoted(kPrelude + GetParam().script) + " 2>&1";
    EXPECT_EQ(Output(command).value_or("(the script failed)"), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, HostileFileSystems, testing::Values(
    // 100000 lines killed 20 times, each in a new folder after a few more pictures: no temp left.
    Case{"KilledBatchOnTmpfs", R"sh(mount_tmpfs; seq -f 'line %g' 0 99999 >"$DIR/list"
        for k in $(seq 20); do
            mkdir "$DIR/fs/$k"
            "$TOOL" --batch "$DIR/list" -o "$DIR/fs/$k/{n}.png" -j 2 & pid=$!
            while [ "$(ls "$DIR/fs/$k" | wc -l)" -lt $((k * 3)) ]; do :; done
            kill -9 $pid
            { wait $pid; } 2>/dev/null || true
        done
        find "$DIR/fs" -name '.qrimage-*' | wc -l)sh", "0\n"},
    // A full file system: every line fails for want of room, nothing is left.
    Case{"FullTmpfs", R"sh(mount_tmpfs 256k; cat /dev/zero > "$DIR/fs/fill" 2>/dev/null || true
        printf 'a\nb\nc\n' | "$TOOL" --batch - -o "$DIR/fs/{n}.png" 2>&1 | sed 's/.*: //' | sort -u
        ls -A "$DIR/fs")sh", "No space left on device\nfill\n"},
    Case{"FullTmpfsWithoutProc", R"sh(mount_tmpfs 256k; cat /dev/zero > "$DIR/fs/fill" 2>/dev/null || true
        hide_proc; "$TOOL" -o "$DIR/fs/x.png" abc 2>&1 | sed 's/.*: //'
        ls -A "$DIR/fs")sh", "No space left on device\nfill\n"},
    // A new file's mode is what open(2) with 0666 gives under the umask, with /proc hidden too.
    Case{"ModeWithProcHidden", R"sh(hide_proc; umask 027; "$TOOL" -o "$DIR/x.png" abc
        stat -c %a "$DIR/x.png")sh", "640\n"},
    // Named while written (no /proc to name an unnamed file by), the temp file is the caller's
    // alone: a write past the size limit into an append-only folder leaves it as it was.
    Case{"NamedTemporaryFileIsPrivate", R"sh(hide_proc; umask 0; mkdir "$DIR/a"; chattr +a "$DIR/a"
        { prlimit --fsize=100 "$TOOL" -o "$DIR/a/x.bmp" abc; } 2>/dev/null || true
        chattr -a "$DIR/a"; stat -c %a "$DIR"/a/.qrimage-*.tmp)sh", "600\n"}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });
// clang-format on

}  // namespace
