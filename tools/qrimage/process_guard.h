// What the tool does about its process as a whole: the standard streams it
// was started with, and the signals that stop it.
#pragma once

#include <pthread.h>

namespace qrtool {

// Whether standard input (0), output (1) or error (2) was closed when the
// process started. Such a descriptor is filled with /dev/null before any
// library is loaded, so that no file opened later takes its number: the
// tool must not write its picture into a file it never meant to.
bool StartedClosed(int descriptor);

// The signals that ask the tool to stop: SIGINT, SIGTERM and SIGHUP.
// While they are blocked, they wait until TakeStopSignal or WaitForSignal
// takes them. Blocking them in the main thread before any thread starts
// blocks them in every thread.
void BlockStopSignals();

// A stop signal that is waiting, taken; 0 when none is.
int TakeStopSignal();

// Waits until a stop signal or a wake-up (WakeWaiter) comes, and returns
// the stop signal's number, or 0 for a wake-up. The stop signals must be
// blocked.
int WaitForSignal();

// Wakes the thread `waiter` out of WaitForSignal.
void WakeWaiter(pthread_t waiter);

// The exit status of a tool stopped by `signal`: 128 + its number, as a
// shell reports it.
inline int StoppedStatus(int signal) {
    return 128 + signal;
}

}  // namespace qrtool
