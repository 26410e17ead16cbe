// Waiting for something a background thread or a queued call brings about, with the event loop
// running meanwhile.
#pragma once

#include <functional>

// Pumps posted events until the condition holds; false when it did not within the time.
bool PumpUntil(const std::function<bool()>& condition, int ms = 5000);
