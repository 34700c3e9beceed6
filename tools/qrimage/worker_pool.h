// A job run on several threads until it is done or a stop signal comes.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace qrtool {

// Lets a job's items start until the run is stopped, and lets the stopper
// wait for those under way. Thread-safe.
class ItemGate {
  public:
    // With `takesStopSignals`, Enter itself takes a stop signal that has
    // come (stop signals held, see stop_signals.h) and stops the gate.
    explicit ItemGate(bool takesStopSignals) : takesStopSignals_(takesStopSignals) {}

    // Whether one more item may start; when true, the caller calls Leave
    // once the item is done. False once stopped.
    bool Enter();
    void Leave();

    // Lets no more items start and waits until those under way have left.
    void StopAndWait();

    // The stop signal that Enter took; 0 when none.
    int TakenSignal();

  private:
    const bool takesStopSignals_;
    std::mutex mutex_;
    std::condition_variable left_;
    unsigned inside_ = 0;
    bool stopped_ = false;
    int signal_ = 0;
};

// The work of one thread: it takes items until none is left, each between
// gate.Enter() and gate.Leave(), and returns when Enter says false.
using Job = std::function<void(ItemGate& gate)>;

// Told when fewer threads than asked for could start: how many did, and the
// system's reason (errno) for the next.
using ShortfallNote = std::function<void(unsigned started, unsigned asked, int error)>;

// Runs `job` on `threads` threads, fewer when the system has no more; when
// none starts, on the calling thread. The calling thread must hold the stop
// signals (HoldStopSignals). Returns 0 once the job has returned everywhere.
// On a stop signal, returns its number once the items under way are done;
// threads still waiting for an item are then left running, detached, for
// the caller to end the process.
int RunOnThreads(unsigned threads, const Job& job, const ShortfallNote& note);

}  // namespace qrtool
