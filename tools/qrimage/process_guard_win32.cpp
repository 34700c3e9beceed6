// The process as a whole on Windows: the console's stop requests in place
// of signals. A console control handler runs on a thread of its own that
// the system starts; it records the request and wakes the waiting thread,
// and tells the system that the request is handled, so the tool ends on its
// own terms, once every picture being made is whole or removed.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "process_guard.h"

namespace qrtool {

namespace {

// The stop request waiting to be taken (a signal number), 0 for none.
std::atomic<int> pendingStop{0};
// Whether the handler keeps requests for the tool rather than letting
// the system end the process at once, as it does before BlockStopSignals.
std::atomic<bool> stopsBlocked{false};
// Set by a stop request or WakeWaiter; WaitForSignal waits on it.
HANDLE wakeUp = nullptr;

// The POSIX signal a console event stands for.
int SignalOf(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : 1 /* SIGHUP */;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (!stopsBlocked) {
        return FALSE;  // the default: the process ends
    }
    int expected = 0;
    pendingStop.compare_exchange_strong(expected, SignalOf(event));
    SetEvent(wakeUp);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The system ends the process as soon as this returns: wait here
        // (the system grants a few seconds) while the tool ends itself.
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

bool StartedClosed(int descriptor) {
    if (descriptor < 0 || descriptor > 2) {
        return false;
    }
    const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    const HANDLE handle = GetStdHandle(which[descriptor]);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

void BlockStopSignals() {
    if (wakeUp == nullptr) {
        wakeUp = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset
        SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
    }
    stopsBlocked = true;
}

int TakeStopSignal() {
    return pendingStop.exchange(0);
}

int WaitForSignal() {
    WaitForSingleObject(wakeUp, INFINITE);
    return TakeStopSignal();
}

void WakeWaiter() {
    SetEvent(wakeUp);
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
