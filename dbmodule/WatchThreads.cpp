#include "WatchThreads.h"

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

TBaseWatchThread::TBaseWatchThread(std::function<void()> evaluate) : FEvaluate(std::move(evaluate)) {}

TBaseWatchThread::~TBaseWatchThread() {
    Stop();
}

void TBaseWatchThread::StartIdle(EPriority priority) {
    FThread = std::thread([this, priority] {
#ifdef __linux__
        // One step below normal: a higher nice value for this thread only.
        if (priority == tpLower)
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 1);
#else
        (void)priority;
#endif
        Execute();
        FFinished = true;
    });
    FFirstWait.acquire();
}

void TBaseWatchThread::Pulse() {
    // The state turns to evaluating under the event's lock, so a second pulse right after this
    // one is dropped as well.
    WakeEvent.PulseIf([this] {
        int idle = stIdle;
        return FState.compare_exchange_strong(idle, stEvaluating);
    });
}

void TBaseWatchThread::Stop() {
    // Termination is requested before the event is set, so the released loop sees it and does
    // not start one more evaluation.
    FTerminated = true;
    WakeEvent.Set();
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TBaseWatchThread::WaitForPulse() {
    WakeEvent.Wait(TManualResetEvent::Infinite, [this] {
        const bool first = FState.load() == stCreated;
        FState.store(stIdle);
        if (first)
            FFirstWait.release();
    });
}

void TBaseWatchThread::Evaluate() {
    if (Terminated())
        return;
    try {
        FEvaluate();
    } catch (...) {
        // A failed evaluation leaves the flags as the module set them; the watcher just goes idle.
    }
    ++FEvaluations;
}

TBaseMainThread::TBaseMainThread(std::function<void()> evaluate) : TBaseWatchThread(std::move(evaluate)) {
    StartIdle(tpNormal);
}

TBaseMainThread::~TBaseMainThread() {
    Stop();
}

void TBaseMainThread::Execute() {
    while (!Terminated()) {
        WaitForPulse();
        SetState(stEvaluating);
        Evaluate();
    }
}

TBaseReservThread::TBaseReservThread(std::function<void()> evaluate, TManualResetEvent& reserveIdle)
    : TBaseWatchThread(std::move(evaluate)), FReserveIdle(reserveIdle) {
    StartIdle(tpLower);
}

TBaseReservThread::~TBaseReservThread() {
    Stop();
}

void TBaseReservThread::Execute() {
    while (!Terminated()) {
        WaitForPulse();
        FReserveIdle.Reset();
        SetState(stEvaluating);
        Evaluate();
        FReserveIdle.Set();
    }
}
