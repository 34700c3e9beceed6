#include <pthread.h>
#include <signal.h>

#include <ctime>
#include <initializer_list>

#include "stop_signals.h"

namespace qrtool {

namespace {

// The wake-up of WaitForStopSignal: SIGCHLD, which the tool (it starts no
// process) never needs and which by default changes nothing when it comes
// from outside.
constexpr int kWakeSignal = SIGCHLD;

// The thread that waits; set once, before any other thread starts.
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

void HoldStopSignals() {
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

int WaitForStopSignal() {
    const sigset_t signals = Signals(true);
    int taken = 0;
    while (sigwait(&signals, &taken) != 0) {
    }
    return taken == kWakeSignal ? 0 : taken;
}

void WakeStopSignalWaiter() {
    pthread_kill(waiter, kWakeSignal);
}

}  // namespace qrtool
