#pragma once
// A serial line that also notes when the first byte of what it received arrived, by the
// computer's clock: for checking that a timed send met its second.

#include "pty_port.h"
#include "serial/timed_send.h"

#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>

#include <atomic>
#include <mutex>
#include <thread>

namespace qev::test {

class StampedLine {
public:
    StampedLine(const QString& portsFolder, int comNumber) {
        pty_.linkAs(portsFolder, comNumber);
        reader_ = std::thread([this] {
            while (!stop_) {
                const QByteArray got = pty_.read(10);
                const qint64 now = realtimeNowNs();
                if (got.isEmpty())
                    continue;
                std::lock_guard lock(mutex_);
                if (received_.isEmpty())
                    firstNs_ = now;
                received_ += got;
            }
        });
    }
    ~StampedLine() {
        stop_ = true;
        reader_.join();
    }
    StampedLine(const StampedLine&) = delete;
    StampedLine& operator=(const StampedLine&) = delete;

    const QString& slavePath() const { return pty_.slavePath(); }

    // Waits until at least n bytes have arrived or timeoutMs passed, then takes them all, with
    // the arrival of the first (0 when nothing came).
    QByteArray take(int n, int timeoutMs, qint64* firstNs = nullptr) {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            {
                std::lock_guard lock(mutex_);
                if (received_.size() >= n)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard lock(mutex_);
        if (firstNs)
            *firstNs = firstNs_;
        firstNs_ = 0;
        return std::exchange(received_, {});
    }

private:
    clocksim::PtyPort pty_;
    std::mutex mutex_;
    QByteArray received_;
    qint64 firstNs_ = 0;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

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

}  // namespace qev::test
