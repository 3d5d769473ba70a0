#include "serial/sync_timing.h"

#include <atomic>
#include <chrono>

namespace qev {

namespace {

// Rounds towards minus infinity, unlike "/" (times before 1970 must not round up).
qint64 floorDiv(qint64 a, qint64 b) {
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::atomic<qint64> clockOffsetNs{0};

}  // namespace

qint64 realtimeNowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() +
           clockOffsetNs.load(std::memory_order_relaxed);
}

void setRealtimeOffsetNs(qint64 offsetNs) {
    clockOffsetNs.store(offsetNs, std::memory_order_relaxed);
}

qint64 wireTimeNs(qint64 bytes, qint64 baud, int bitsPerByte) {
    if (baud <= 0 || bytes <= 0 || bitsPerByte <= 0)
        return 0;
    // Rounded to the nearest nanosecond; the product stays far below 2^63 for any message.
    return (bytes * bitsPerByte * kNanosPerSecond + baud / 2) / baud;
}

SyncPlan planSync(qint64 nowNs, qint64 wireNs, qint64 leadNs) {
    // The first boundary B with B - wire >= now + lead, that is B >= now + lead + wire.
    const qint64 earliestEnd = nowNs + leadNs + wireNs;
    qint64 second = floorDiv(earliestEnd, kNanosPerSecond);
    if (second * kNanosPerSecond < earliestEnd)
        ++second;
    return {second, second * kNanosPerSecond - wireNs};
}

}  // namespace qev
