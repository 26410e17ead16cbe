#pragma once

#include "ManualResetEvent.h"

#include <atomic>
#include <functional>
#include <semaphore>
#include <thread>

// A server watcher: sleeps on WakeEvent, runs one evaluation per pulse, goes idle again.
// The evaluation is given by the database module (EvaluateMain or CheckReserve and where its
// result goes), so the thread itself is testable without a server.
// The thread is a plain std::thread (not QThread) so that ThreadSanitizer sees every hand-over.
class TBaseWatchThread {
public:
    enum EState { stCreated = 0, stIdle = 1, stEvaluating = 2 };
    enum EPriority { tpNormal, tpLower };

    TManualResetEvent WakeEvent;

    virtual ~TBaseWatchThread();
    TBaseWatchThread(const TBaseWatchThread&) = delete;
    TBaseWatchThread& operator=(const TBaseWatchThread&) = delete;

    // Releases the thread only when it is idle and waiting; a pulse during an evaluation is dropped.
    void Pulse();
    // Leaves WakeEvent signalled, asks the loop to end and waits for it; an evaluation under way
    // finishes first. Safe to call more than once.
    void Stop();

    int State() const { return FState.load(); }
    // Number of evaluations finished so far (also the failed ones).
    int Evaluations() const { return FEvaluations.load(); }
    bool Terminated() const { return FTerminated.load(); }
    bool IsFinished() const { return FFinished.load(); }

protected:
    explicit TBaseWatchThread(std::function<void()> evaluate);
    // Starts the thread and returns once it waits for its first pulse; called by the final class.
    void StartIdle(EPriority priority);

    virtual void Execute() = 0;
    // Hook of the original thread family; no behaviour.
    virtual void Idle() {}

    // Waits for a pulse (or Stop); the state turns idle under the event's lock.
    void WaitForPulse();
    void Evaluate();
    void SetState(EState s) { FState.store(s); }

private:
    std::function<void()> FEvaluate;
    std::atomic<int> FState{stCreated};
    std::atomic<int> FEvaluations{0};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::binary_semaphore FFirstWait{0};
    std::thread FThread;
};

// Watcher of the main server: each pulse runs MainOk := EvaluateMain().
class TBaseMainThread final : public TBaseWatchThread {
public:
    explicit TBaseMainThread(std::function<void()> evaluate);
    ~TBaseMainThread() override;

protected:
    void Execute() override;
};

// Watcher of the reserve server: each pulse runs ReserveOk := CheckReserve() with ReserveIdle reset
// for the duration, so that a server swap does not log the reserve session off under the probe.
class TBaseReservThread final : public TBaseWatchThread {
public:
    TBaseReservThread(std::function<void()> evaluate, TManualResetEvent& reserveIdle);
    ~TBaseReservThread() override;

protected:
    void Execute() override;

private:
    TManualResetEvent& FReserveIdle;
};
