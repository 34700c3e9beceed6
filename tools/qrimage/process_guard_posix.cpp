#include "process_guard.h"

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <initializer_list>

namespace qrtool {

namespace {

bool closedAtStart[3];

// Runs from the executable's pre-initialisation array, before the dynamic
// loader initialises any shared library: libqrimage opens its colour object
// as it loads, and with standard output closed that object would otherwise
// become descriptor 1 and take the picture. Only system calls here: nothing
// else is set up yet. Opened in order, each /dev/null takes the lowest free
// number, which is the one being filled.
void FillClosedStandardStreams(int, char**, char**) {
    for (int descriptor = 0; descriptor < 3; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) {
            closedAtStart[descriptor] = true;
            if (open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY) != descriptor) {
                _exit(1);  // no /dev/null: nothing can keep 0-2 from later files
            }
        }
    }
}

[[gnu::used, gnu::section(".preinit_array")]] void (*const fillClosedStandardStreams)(
    int, char**, char**) = &FillClosedStandardStreams;

// The wake-up of WaitForSignal: SIGCHLD, which the tool (it starts no
// process) never needs and which by default changes nothing when it comes
// from outside.
constexpr int kWakeSignal = SIGCHLD;

// The thread that blocked the stop signals, and waits for them.
pthread_t waiter;

sigset_t Signals(bool withWakeUp) {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&signals, stop);
    }
    if (withWakeUp) {
        sigaddset(&signals, kWakeSignal);
    }
    return signals;
}

}  // namespace

bool StartedClosed(int descriptor) {
    return descriptor >= 0 && descriptor < 3 && closedAtStart[descriptor];
}

void BlockStopSignals() {
    const sigset_t signals = Signals(true);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    waiter = pthread_self();
}

int TakeStopSignal() {
    const sigset_t signals = Signals(false);
    const timespec now{};
    const int taken = sigtimedwait(&signals, nullptr, &now);
    return taken > 0 ? taken : 0;
}

int WaitForSignal() {
    const sigset_t signals = Signals(true);
    int taken = 0;
    while (sigwait(&signals, &taken) != 0) {
    }
    return taken == kWakeSignal ? 0 : taken;
}

void WakeWaiter() {
    pthread_kill(waiter, kWakeSignal);
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
