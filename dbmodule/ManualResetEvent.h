#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// A manual-reset event: once set it stays signalled until reset, releasing every waiter.
// Pulse releases only the threads already waiting and leaves the event not signalled.
class TManualResetEvent {
public:
    static constexpr int Infinite = -1;

    explicit TManualResetEvent(bool initiallySignalled = false);
    TManualResetEvent(const TManualResetEvent&) = delete;
    TManualResetEvent& operator=(const TManualResetEvent&) = delete;

    void Set();
    void Reset();
    void Pulse();
    // Pulses only when condition() holds; condition runs under the event's lock, so a waiter that
    // announced itself through Wait's onWaiting cannot miss the pulse.
    bool PulseIf(const std::function<bool()>& condition);

    // True when released (set or pulsed), false on time-out. onWaiting, if given, runs under the
    // event's lock once this thread counts as waiting, before it blocks.
    bool Wait(int timeoutMs = Infinite, const std::function<void()>& onWaiting = {});

    bool IsSet() const;

private:
    mutable std::mutex FLock;
    std::condition_variable FCond;
    bool FSignalled;
    std::uint64_t FPulses = 0; // bumped by every pulse; a waiter compares it with the value it started with
};
