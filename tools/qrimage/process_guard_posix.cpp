#include "process_guard.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "stop_signals.h"

namespace qrtool {

namespace {

bool closedAtStart[3];

// Runs from the executable's pre-initialisation array, before the dynamic
// loader initialises any shared library: libqrimage opens its colour object
// as it loads, and with standard output closed that object would otherwise
// become descriptor 1 and take the picture. Only system calls here: nothing
// else is set up yet. Opened in order, each /dev/null takes the lowest free
// number, which is the one being filled.
// Where there is no /dev/null (a chroot without /dev): the end of a pipe
// whose other end is closed, which reads as empty and refuses writes as
// /dev/null would swallow them. The lowest free number is `descriptor`, so
// the pipe's read end lands there; an output gets the write end instead.
// Nothing can keep 0-2 from later files when even that fails.
void FillWithAPipeEnd(int descriptor) {
    int ends[2];
    if (pipe(ends) != 0 || ends[0] != descriptor) {
        _exit(1);
    }
    if (descriptor != 0 && dup2(ends[1], descriptor) != descriptor) {
        _exit(1);
    }
    close(ends[1]);
}

void FillClosedStandardStreams(int, char**, char**) {
    for (int descriptor = 0; descriptor < 3; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) {
            closedAtStart[descriptor] = true;
            if (open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY) != descriptor) {
                FillWithAPipeEnd(descriptor);
            }
        }
    }
}

[[gnu::used, gnu::section(".preinit_array")]] void (*const fillClosedStandardStreams)(
    int, char**, char**) = &FillClosedStandardStreams;

}  // namespace

bool StartedClosed(int descriptor) {
    return descriptor >= 0 && descriptor < 3 && closedAtStart[descriptor];
}

void EndStopped(int signal) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(StoppedStatus(signal));
}

// By default glibc hands freed memory back to the system after each picture
// and takes it again, zero-filled, for the next; in a batch that page
// traffic costs more than the picture. Keeping a couple of MiB in the
// process is the better bargain.
void KeepFreedMemoryForReuse() {
    constexpr int kKeep = 2 << 20;
    mallopt(M_TRIM_THRESHOLD, kKeep);
    mallopt(M_TOP_PAD, 1 << 20);
    mallopt(M_MMAP_THRESHOLD, kKeep);
}

}  // namespace qrtool
