// The tool's files where the machine is hostile or runs out: a batch killed
// outright, a full file system, a /proc that is hidden or forged. Each case is
// a shell script run as root in a private mount namespace, so that its mounts
// end with it; it prints what it found.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "support.h"

namespace {

using namespace qrtest;

struct Case {
    std::string name, script;  // $TOOL is the tool, $DIR a folder, $LIST a list of 100000 lines
    std::string expected;      // what the script prints
};

// Functions the scripts share. mount_fs KIND mounts a fresh file system of
// KIND on $DIR/fs (a loop-mounted image for a disk's), or exits 77 when this
// machine cannot. hide_proc puts an empty tmpfs over /proc; forge_proc a
// tmpfs whose status files claim the umask 0000.
const std::string kPrelude = R"sh(set -e
# The colour objects of killed processes stay in the case's own folder.
mkdir -m 700 "$DIR/run"
export XDG_RUNTIME_DIR="$DIR/run" LIST="$DIR/list"
seq -f 'line %g' 0 99999 >"$LIST"
mount_fs() {
    mkdir "$DIR/fs"
    case $1 in
    tmpfs) mount -t tmpfs -o size=${2:-64m} none "$DIR/fs" ;;
    *) truncate -s 128M "$DIR/image"
       command -v mkfs.$1 >/dev/null || exit 77
       mkfs.$1 -q "$DIR/image" >/dev/null 2>&1 && mount -o loop "$DIR/image" "$DIR/fs" || exit 77 ;;
    esac
}
hide_proc() { mount -t tmpfs none /proc; }
forge_proc() {
    hide_proc
    mkdir -p /proc/self /proc/thread-self
    printf 'Name:\tqrimage\nUmask:\t0000\n' | tee /proc/self/status > /proc/thread-self/status
}
# Kills a running batch 20 times, each time into a new folder once it has
# made a few more pictures, and prints how many temporary files are left.
kill_batches() {
    for k in $(seq 20); do
        mkdir "$DIR/fs/$k"
        "$TOOL" --batch "$LIST" -o "$DIR/fs/$k/{n}.png" -j 2 & pid=$!
        while [ "$(ls "$DIR/fs/$k" | wc -l)" -lt $((k * 3)) ]; do :; done
        kill -9 $pid
        { wait $pid; } 2>/dev/null || true
    done
    echo "left $(find "$DIR/fs" -name '.qrimage-*' | wc -l)"
}
)sh";

class HostileFileSystems : public testing::TestWithParam<Case> {};

TEST_P(HostileFileSystems, LeaveNothingBehindAndGiveHonestModes) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
#if defined(__SANITIZE_ADDRESS__)
    if (GetParam().script.find("_proc") != std::string::npos) {
        GTEST_SKIP() << "the sanitizers' runtime needs /proc";
    }
#endif
    const TempFolder folder;
    // The library named outright: the loader finds $ORIGIN through /proc,
    // which some cases hide.
    const std::string command =
        "LD_LIBRARY_PATH=" + Quoted(fs::path(QRIMAGE_LIBRARY_FILE).parent_path()) +
        " TOOL=" + Quoted(QRIMAGE_TOOL) + " DIR=" + Quoted(folder.Path()) +
        " unshare -m --propagation private sh -c " + Quoted(kPrelude + GetParam().script) + " 2>&1";
    std::unique_ptr<std::FILE, decltype(&pclose)> run(popen(command.c_str(), "r"), &pclose);
    std::string printed(4096, '\0');
    printed.resize(std::fread(printed.data(), 1, printed.size(), run.get()));
    const int status = pclose(run.release());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "this machine cannot mount it: " << printed;
    }
    EXPECT_EQ(printed, GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, HostileFileSystems, testing::Values(
    Case{"KilledBatchOnTmpfs", "mount_fs tmpfs; kill_batches", "left 0\n"},
    Case{"KilledBatchOnExt4", "mount_fs ext4; kill_batches", "left 0\n"},
    Case{"KilledBatchOnBtrfs", "mount_fs btrfs; kill_batches", "left 0\n"},
    // A full file system: every line fails for want of room, nothing is left.
    Case{"FullTmpfs", R"sh(mount_fs tmpfs 256k; cat /dev/zero > "$DIR/fs/fill" 2>/dev/null || true
        head -3 "$LIST" | "$TOOL" --batch - -o "$DIR/fs/{n}.png" 2>&1 | sed 's/.*: //' | sort -u
        ls -A "$DIR/fs")sh", "No space left on device\nfill\n"},
    Case{"FullTmpfsWithoutProc", R"sh(mount_fs tmpfs 256k; cat /dev/zero > "$DIR/fs/fill" 2>/dev/null || true
        hide_proc; "$TOOL" -o "$DIR/fs/x.png" abc 2>&1 | sed 's/.*: //'
        ls -A "$DIR/fs")sh", "No space left on device\nfill\n"},
    // A new file's mode is what open(2) with 0666 gives under the umask,
    // whatever /proc says or lacks.
    Case{"ModeWithProcHidden", R"sh(hide_proc; umask 027; "$TOOL" -o "$DIR/x.png" abc
        stat -c %a "$DIR/x.png")sh", "640\n"},
    Case{"ModeWithProcForged", R"sh(forge_proc; umask 077; "$TOOL" -o "$DIR/x.png" abc
        stat -c %a "$DIR/x.png")sh", "600\n"},
    // Named while written (no /proc to name an unnamed file through), the
    // temporary file is the caller's alone: a write past the size limit into
    // an append-only folder, where it cannot be removed, leaves it as it was.
    Case{"NamedTemporaryFileIsPrivate", R"sh(hide_proc; umask 0; mkdir "$DIR/a"; chattr +a "$DIR/a"
        { prlimit --fsize=100 "$TOOL" -o "$DIR/a/x.bmp" abc; } 2>/dev/null || true
        chattr -a "$DIR/a"; stat -c %a "$DIR"/a/.qrimage-*.tmp)sh", "600\n"}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });
// clang-format on

}  // namespace
