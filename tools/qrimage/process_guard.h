// What the tool does about its process as a whole: the standard streams it
// was started with, and the signals that stop it.
#pragma once

namespace qrtool {

// Whether standard input (0), output (1) or error (2) was closed when the
// process started. Such a descriptor is filled with /dev/null before any
// library is loaded, so that no file opened later takes its number: the
// tool must not write its picture into a file it never meant to.
bool StartedClosed(int descriptor);

// The requests that ask the tool to stop: SIGINT, SIGTERM and SIGHUP on
// POSIX systems; Ctrl+C, Ctrl+Break and the console's closing on Windows,
// reported as SIGINT (Ctrl+C, Ctrl+Break) and SIGHUP (closing). While they
// are blocked, they wait until TakeStopSignal or WaitForSignal takes them.
// Blocking them in the main thread before any thread starts blocks them in
// every thread; the calling thread becomes the one WakeWaiter wakes.
void BlockStopSignals();

// A stop signal that is waiting, taken; 0 when none is.
int TakeStopSignal();

// Waits until a stop signal or a wake-up (WakeWaiter) comes, and returns
// the stop signal's number, or 0 for a wake-up. The stop signals must be
// blocked.
int WaitForSignal();

// Wakes the thread that called BlockStopSignals out of WaitForSignal.
// Thread-safe.
void WakeWaiter();

// Tunes the allocator for a batch: every picture frees and takes again the
// same few hundred KiB, which should stay in the process between pictures.
void KeepFreedMemoryForReuse();

// Ends the process for the stop signal `signal`, with StoppedStatus, once
// the standard streams are flushed. Threads that still wait for input hold
// nothing that needs cleaning up: they end with it.
[[noreturn]] void EndStopped(int signal);

// The exit status of a tool stopped by `signal`: 128 + its number, as a
// shell reports it.
inline int StoppedStatus(int signal) {
    return 128 + signal;
}

}  // namespace qrtool
