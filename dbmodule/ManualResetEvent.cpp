#include "ManualResetEvent.h"

#include <chrono>

TManualResetEvent::TManualResetEvent(bool initiallySignalled) : FSignalled(initiallySignalled) {}

void TManualResetEvent::Set() {
    std::lock_guard lock(FLock);
    FSignalled = true;
    FCond.notify_all();
}

void TManualResetEvent::Reset() {
    std::lock_guard lock(FLock);
    FSignalled = false;
}

void TManualResetEvent::Pulse() {
    PulseIf([] { return true; });
}

bool TManualResetEvent::PulseIf(const std::function<bool()>& condition) {
    std::lock_guard lock(FLock);
    if (!condition())
        return false;
    ++FPulses;
    FSignalled = false;
    FCond.notify_all();
    return true;
}

bool TManualResetEvent::Wait(int timeoutMs, const std::function<void()>& onWaiting) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::unique_lock lock(FLock);
    if (onWaiting)
        onWaiting();
    const std::uint64_t pulses = FPulses;
    const auto released = [&] { return FSignalled || FPulses != pulses; };
    if (timeoutMs < 0) {
        FCond.wait(lock, released);
        return true;
    }
    return FCond.wait_until(lock, deadline, released);
}

bool TManualResetEvent::IsSet() const {
    std::lock_guard lock(FLock);
    return FSignalled;
}
