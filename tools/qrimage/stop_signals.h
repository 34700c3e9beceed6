// The signals that ask the tool to stop (SIGINT, SIGTERM and SIGHUP):
// held back until the tool takes them at a moment when stopping leaves
// nothing half done.
#pragma once

namespace qrtool {

// Holds the stop signals back from now on, in the calling thread and in every
// thread it starts afterwards, and makes the calling thread the one that
// WaitForStopSignal serves. Call it in the main thread before starting any
// other.
void HoldStopSignals();

// A stop signal that has come, taken; 0 when none has.
int TakeStopSignal();

// Waits, in the thread that called HoldStopSignals, until a stop signal comes
// (its number) or WakeStopSignalWaiter is called (0).
int WaitForStopSignal();

// Ends the waiting thread's WaitForStopSignal. Any thread may call it.
void WakeStopSignalWaiter();

// The exit status of a tool stopped by `signal`: 128 + its number, as a
// shell reports it.
inline int StoppedStatus(int signal) {
    return 128 + signal;
}

}  // namespace qrtool
