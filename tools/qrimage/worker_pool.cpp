#include "worker_pool.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "stop_signals.h"

namespace qrtool {

bool ItemGate::Enter() {
    const std::lock_guard lock(mutex_);
    if (!stopped_ && takesStopSignals_) {
        signal_ = TakeStopSignal();
        stopped_ = signal_ != 0;
    }
    inside_ += !stopped_;
    return !stopped_;
}

void ItemGate::Leave() {
    const std::lock_guard lock(mutex_);
    --inside_;
    left_.notify_all();
}

void ItemGate::StopAndWait() {
    std::unique_lock lock(mutex_);
    stopped_ = true;
    left_.wait(lock, [this] { return inside_ == 0; });
}

int ItemGate::TakenSignal() {
    const std::lock_guard lock(mutex_);
    return signal_;
}

namespace {

// Starts up to `count` threads running `body`; returns the errno of the
// first that could not start, 0 when all did.
int StartThreads(unsigned count, const std::function<void()>& body,
                 std::vector<std::thread>& threads) {
    for (unsigned k = 0; k < count; ++k) {
        try {
            threads.emplace_back(body);
        } catch (const std::system_error& failure) {  // the system has no more threads for us
            return failure.code().value();
        }
    }
    return 0;
}

}  // namespace

int RunOnThreads(unsigned threads, const Job& job, const ShortfallNote& note) {
    ItemGate gate(false);
    std::atomic<unsigned> running{threads};
    std::vector<std::thread> workers;
    const int startError = StartThreads(
        threads,
        [&] {
            job(gate);
            if (--running == 0) {
                WakeStopSignalWaiter();
            }
        },
        workers);
    if (startError != 0) {
        running -= threads - unsigned(workers.size());
        note(unsigned(workers.size()), threads, startError);
    }
    if (workers.empty()) {
        ItemGate own(true);  // the only worker takes the stop signals itself
        job(own);
        return own.TakenSignal();
    }
    int signal = 0;
    while (running > 0 && (signal = WaitForStopSignal()) == 0) {
    }
    if (signal != 0) {
        gate.StopAndWait();
        for (std::thread& worker : workers) {
            worker.detach();
        }
        return signal;
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    return 0;
}

}  // namespace qrtool
