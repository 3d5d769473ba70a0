#pragma once
// What the platform's catching of stop requests shares with the rest of StopSignals.

#include <atomic>

namespace qev::stop_signals {

// The signal that asked to stop, 0 while none has; set from a signal or console handler.
extern std::atomic<int> caughtSignal;
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

}  // namespace qev::stop_signals
