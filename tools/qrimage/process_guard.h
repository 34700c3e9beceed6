// What the tool does about its process as a whole: the standard streams it
// was started with, the allocator, the way it ends when stopped.
#pragma once

namespace qrtool {

// Whether standard input (0), output (1) or error (2) was closed when the
// process started. Such a descriptor is filled with /dev/null before any
// library is loaded, so that no file opened later takes its number: the
// tool must not write its picture into a file it never meant to.
bool StartedClosed(int descriptor);

// Tunes the allocator for a batch: every picture frees and takes again the
// same few hundred KiB, which should stay in the process between pictures.
void KeepFreedMemoryForReuse();

// Ends the process for the stop signal `signal` (stop_signals.h), with
// StoppedStatus, once the standard streams are flushed. Threads that still
// wait for input hold nothing that needs cleaning up: they end with it.
[[noreturn]] void EndStopped(int signal);

}  // namespace qrtool
