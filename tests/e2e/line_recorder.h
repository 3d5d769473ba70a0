#pragma once
// A serial line for the end-to-end tests: a pty linked as COMn in QEV's ports folder, with a
// thread that takes everything QEV writes as soon as it arrives (a port close discards what is
// still waiting on the line, as a real one would). It notes when the first byte of what it
// holds arrived, by the computer's clock, for checking that a timed send met its second.

#include "pty_port.h"
#include "serial/sync_timing.h"

#include <QByteArray>
#include <QDeadlineTimer>

#include <termios.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace qev::test {

class LineRecorder {
public:
    LineRecorder(const QString& portsFolder, int comNumber) {
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
    ~LineRecorder() {
        stop_ = true;
        reader_.join();
    }
    LineRecorder(const LineRecorder&) = delete;
    LineRecorder& operator=(const LineRecorder&) = delete;

    const QString& slavePath() const { return pty_.slavePath(); }
    // Stops the line's output as a peer's flow control would (a stalled adapter), or restarts it.
    void stall(bool on) { ::tcflow(pty_.slaveFd(), on ? TCOOFF : TCOON); }

    // Everything received so far, with the arrival of its first byte (0 when nothing came), and
    // forgets it.
    QByteArray take(qint64* firstNs = nullptr) {
        std::lock_guard lock(mutex_);
        if (firstNs)
            *firstNs = firstNs_;
        firstNs_ = 0;
        return std::exchange(received_, {});
    }
    // Waits until at least n bytes have arrived or timeoutMs passed, then takes them all.
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
        return take(firstNs);
    }

private:
    clocksim::PtyPort pty_;
    std::mutex mutex_;
    QByteArray received_;
    qint64 firstNs_ = 0;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

}  // namespace qev::test
