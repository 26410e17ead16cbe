// The manual-reset event and the server watcher threads, without any server.
#include "ManualResetEvent.h"
#include "WatchThreads.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <semaphore>
#include <thread>

namespace {

// Polls until cond holds or 5 s pass.
template <typename F> bool WaitUntil(F cond, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A waiter thread that reports when it has started waiting and what Wait returned.
struct Waiter {
    TManualResetEvent& ev;
    int timeout;
    std::atomic<bool> waiting{false};
    std::atomic<int> result{-1};
    std::thread th;
    Waiter(TManualResetEvent& e, int t) : ev(e), timeout(t) {
        th = std::thread([this] { result = ev.Wait(timeout, [this] { waiting = true; }) ? 1 : 0; });
        WaitUntil([this] { return waiting.load(); });
    }
    ~Waiter() { th.join(); }
};

TEST(ManualResetEvent, SetReleasesEveryWaiterAndStaysSignalled) {
    TManualResetEvent ev;
    EXPECT_FALSE(ev.IsSet());
    {
        Waiter a(ev, TManualResetEvent::Infinite), b(ev, TManualResetEvent::Infinite);
        ev.Set();
    }
    EXPECT_TRUE(ev.IsSet());
    EXPECT_TRUE(ev.Wait(0)); // still signalled: returns at once
    ev.Reset();
    EXPECT_FALSE(ev.IsSet());
    EXPECT_FALSE(ev.Wait(20));
}

TEST(ManualResetEvent, PulseReleasesOnlyThreadsAlreadyWaiting) {
    TManualResetEvent ev;
    {
        Waiter a(ev, TManualResetEvent::Infinite), b(ev, TManualResetEvent::Infinite);
        ev.Pulse();
        ASSERT_TRUE(WaitUntil([&] { return a.result.load() == 1 && b.result.load() == 1; }));
    }
    // The pulse left the event not signalled; a later waiter is not released by it.
    EXPECT_FALSE(ev.IsSet());
    ev.Pulse(); // nobody waits: lost
    EXPECT_FALSE(ev.Wait(30));
}

TEST(ManualResetEvent, PulseClearsASetEventAndWaitTimesOut) {
    TManualResetEvent ev(true);
    EXPECT_TRUE(ev.IsSet());
    ev.Pulse();
    EXPECT_FALSE(ev.IsSet());
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(ev.Wait(50));
    EXPECT_GE(t.elapsed(), 45);
}

TEST(ManualResetEvent, PulseIfDecidesUnderTheLock) {
    TManualResetEvent ev;
    EXPECT_FALSE(ev.PulseIf([] { return false; }));
    Waiter a(ev, 200);
    EXPECT_FALSE(ev.PulseIf([] { return false; }));
    EXPECT_TRUE(ev.PulseIf([] { return true; }));
    ASSERT_TRUE(WaitUntil([&] { return a.result.load() == 1; }));
}

// An evaluation that blocks until the test lets it go.
struct Gate {
    std::counting_semaphore<16> entered{0}, release{0};
    std::atomic<int> runs{0};
    void operator()() {
        ++runs;
        entered.release();
        release.acquire();
    }
};

TEST(WatchThread, StartsIdleAndEvaluatesOncePerPulse) {
    std::atomic<int> runs{0};
    TBaseMainThread th([&] { ++runs; });
    EXPECT_EQ(th.State(), TBaseWatchThread::stIdle);
    th.Pulse();
    ASSERT_TRUE(WaitUntil([&] { return th.Evaluations() == 1 && th.State() == TBaseWatchThread::stIdle; }));
    th.Pulse();
    ASSERT_TRUE(WaitUntil([&] { return th.Evaluations() == 2 && th.State() == TBaseWatchThread::stIdle; }));
    EXPECT_EQ(runs.load(), 2);
}

TEST(WatchThread, PulseWhileEvaluatingIsDropped) {
    Gate gate;
    TBaseMainThread th([&] { gate(); });
    th.Pulse();
    ASSERT_TRUE(gate.entered.try_acquire_for(std::chrono::seconds(5)));
    EXPECT_EQ(th.State(), TBaseWatchThread::stEvaluating);
    th.Pulse(); // dropped: the watcher is busy
    th.Pulse();
    gate.release.release();
    ASSERT_TRUE(WaitUntil([&] { return th.State() == TBaseWatchThread::stIdle; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(gate.runs.load(), 1);
    EXPECT_FALSE(th.WakeEvent.IsSet());
    // The next request is honoured again.
    th.Pulse();
    ASSERT_TRUE(gate.entered.try_acquire_for(std::chrono::seconds(5)));
    gate.release.release();
    ASSERT_TRUE(WaitUntil([&] { return th.Evaluations() == 2; }));
    EXPECT_EQ(gate.runs.load(), 2);
}

TEST(WatchThread, StopDuringEvaluationWaitsForIt) {
    Gate gate;
    std::atomic<bool> finished{false};
    TBaseMainThread th([&] {
        gate();
        finished = true;
    });
    th.Pulse();
    ASSERT_TRUE(gate.entered.try_acquire_for(std::chrono::seconds(5)));
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        th.Stop();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(stopped.load());
    gate.release.release();
    stopper.join();
    EXPECT_TRUE(finished.load());
    EXPECT_TRUE(th.IsFinished());
    EXPECT_TRUE(th.WakeEvent.IsSet());
    th.Pulse(); // after Stop: harmless
    th.Stop();
    EXPECT_EQ(gate.runs.load(), 1);
}

TEST(WatchThread, FailedEvaluationReturnsToIdle) {
    std::atomic<int> runs{0};
    TBaseMainThread th([&] {
        ++runs;
        throw std::runtime_error("ORA-12541: TNS:no listener");
    });
    th.Pulse();
    ASSERT_TRUE(WaitUntil([&] { return th.Evaluations() == 1 && th.State() == TBaseWatchThread::stIdle; }));
    th.Pulse();
    ASSERT_TRUE(WaitUntil([&] { return th.Evaluations() == 2; }));
    EXPECT_EQ(runs.load(), 2);
}

TEST(WatchThread, ReserveWatcherHoldsReserveIdleResetDuringTheProbe) {
    TManualResetEvent reserveIdle(true);
    Gate gate;
    TBaseReservThread th([&] { gate(); }, reserveIdle);
    EXPECT_TRUE(reserveIdle.IsSet());
    th.Pulse();
    ASSERT_TRUE(gate.entered.try_acquire_for(std::chrono::seconds(5)));
    EXPECT_FALSE(reserveIdle.IsSet());
    // A swap waiting for the probe is released as soon as it ends.
    std::atomic<int> swapWaited{-1};
    std::thread swapper([&] { swapWaited = reserveIdle.Wait(5000) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(swapWaited.load(), -1);
    gate.release.release();
    swapper.join();
    EXPECT_EQ(swapWaited.load(), 1);
    ASSERT_TRUE(WaitUntil([&] { return th.State() == TBaseWatchThread::stIdle; }));
    EXPECT_TRUE(reserveIdle.IsSet());
    th.Stop();
    EXPECT_TRUE(reserveIdle.IsSet());
    EXPECT_EQ(gate.runs.load(), 1);
}

TEST(WatchThread, StopOfAnIdleWatcherEndsPromptlyWithoutEvaluating) {
    std::atomic<int> runs{0};
    QElapsedTimer t;
    t.start();
    {
        TBaseMainThread a([&] { ++runs; });
        TManualResetEvent idle(true);
        TBaseReservThread b([&] { ++runs; }, idle);
        a.Stop();
        b.Stop();
    }
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_EQ(runs.load(), 0);
}

} // namespace
