// The console's stop requests in place of signals. A console control handler
// runs on a thread of its own that the system starts; it records the request
// and wakes the waiting thread, and tells the system that the request is
// handled, so the tool ends on its own terms, once every picture being made
// is whole or removed. Ctrl+C and Ctrl+Break count as SIGINT, the console's
// closing as SIGHUP.
#include <windows.h>

#include <atomic>
#include <csignal>

#include "stop_signals.h"

namespace qrtool {

namespace {

// The stop request waiting to be taken (a signal number), 0 for none.
std::atomic<int> pendingStop{0};
// Whether the handler keeps requests for the tool rather than letting the
// system end the process at once, as it does before HoldStopSignals.
std::atomic<bool> stopsHeld{false};
// Set by a stop request or WakeStopSignalWaiter; WaitForStopSignal waits on it.
HANDLE wakeUp = nullptr;

// The POSIX signal a console event stands for.
int SignalOf(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : 1 /* SIGHUP */;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (!stopsHeld) {
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

void HoldStopSignals() {
    if (wakeUp == nullptr) {
        wakeUp = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset
        SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
    }
    stopsHeld = true;
}

int TakeStopSignal() {
    return pendingStop.exchange(0);
}

int WaitForStopSignal() {
    WaitForSingleObject(wakeUp, INFINITE);
    return TakeStopSignal();
}

void WakeStopSignalWaiter() {
    SetEvent(wakeUp);
}

}  // namespace qrtool
