#pragma once
// A serial line for the end-to-end tests: a pty linked as COMn in QEV's ports folder, with a
// thread that takes everything QEV writes as soon as it arrives (a port close discards what is
// still waiting on the line, as a real one would).

#include "pty_port.h"

#include <QByteArray>
#include <QDeadlineTimer>

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
                if (!got.isEmpty()) {
                    std::lock_guard lock(mutex_);
                    received_ += got;
                }
            }
        });
    }
    ~LineRecorder() {
        stop_ = true;
        reader_.join();
    }
    LineRecorder(const LineRecorder&) = delete;
    LineRecorder& operator=(const LineRecorder&) = delete;

    // Everything received so far, and forgets it.
    QByteArray take() {
        std::lock_guard lock(mutex_);
        return std::exchange(received_, {});
    }
    // Waits until at least n bytes have arrived or timeoutMs passed, then takes them all.
    QByteArray take(int n, int timeoutMs) {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            {
                std::lock_guard lock(mutex_);
                if (received_.size() >= n)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return take();
    }

private:
    clocksim::PtyPort pty_;
    std::mutex mutex_;
    QByteArray received_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

}  // namespace qev::test
