#pragma once
// For checking that a timed send met its second, on a line recorded by LineRecorder.

#include "line_recorder.h"
#include "serial/sync_timing.h"

#include <QByteArray>
#include <QDateTime>

#include <thread>

namespace qev::test {

// The second a time-set message carries (hhmmss then mmddyy), or -1 when it is not one.
inline qint64 sentSecond(const QByteArray& m) {
    if (m.size() != 14 || m.front() != '\x02' || m.back() != '\x03')
        return -1;
    const auto pair = [&m](int at) { return m.mid(at, 2).toInt(); };
    const QDateTime at(QDate(2000 + pair(11), pair(7), pair(9)), QTime(pair(1), pair(3), pair(5)),
                       Qt::UTC);
    return at.isValid() ? at.toSecsSinceEpoch() : -1;
}

// Waits until the clock is between fromMs and toMs into a second: a send at once from there is
// far from any boundary, so a send that is not timed shows.
inline void waitForFractionOfSecond(int fromMs, int toMs) {
    for (;;) {
        const qint64 ms = (realtimeNowNs() / 1'000'000) % 1000;
        if (ms >= fromMs && ms < toMs)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Shifts the clock of the timed sends so that it now reads ms into a second: a sync started at
// once then waits about 950 - ms milliseconds for its instant, whatever the real time is.
inline void startClockAt(int ms) {
    setRealtimeOffsetNs(0);
    setRealtimeOffsetNs(qint64(ms) * 1'000'000 - realtimeNowNs() % kNanosPerSecond);
}

}  // namespace qev::test
