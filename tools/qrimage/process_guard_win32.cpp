// The process as a whole on Windows.
#include <windows.h>

#include <cstdio>

#include "process_guard.h"
#include "stop_signals.h"

namespace qrtool {

bool StartedClosed(int descriptor) {
    if (descriptor < 0 || descriptor > 2) {
        return false;
    }
    const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    const HANDLE handle = GetStdHandle(which[descriptor]);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

void EndStopped(int signal) {
    std::fflush(stdout);
    std::fflush(stderr);
    // Not exit(): the C runtime's exit locks every stream, and a worker may
    // hold standard input's lock while it waits for a record that never
    // comes. The library's shared colours are the system's to clean up.
    TerminateProcess(GetCurrentProcess(), UINT(StoppedStatus(signal)));
    ExitProcess(UINT(StoppedStatus(signal)));  // not reached
}

// The Windows heap keeps freed blocks for reuse by itself.
void KeepFreedMemoryForReuse() {}

}  // namespace qrtool
