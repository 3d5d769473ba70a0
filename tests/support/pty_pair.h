#pragma once
// Test support: a pseudo terminal standing in for a serial line, and a collector that reads the
// master side as the device would.

#include "pty_port.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace qev::test {

// The simulator's pseudo-terminal (raw, at 4800 baud) with what tests do to a line besides.
class PtyPair {
public:
    PtyPair();

    int master() const { return port_.masterFd(); }
    // The test's own slave descriptor keeps the line up between our opens.
    int slave() const { return port_.slaveFd(); }
    const QString& slavePath() const { return port_.slavePath(); }
    void closeMaster() { port_.closeMaster(); }
    // Stops / restarts the slave's output, as a peer's flow control would.
    void stall();
    void resume();
    // Fills the line's queue as a peer that stopped reading leaves it: the slave takes no more.
    void fill();

private:
    clocksim::PtyPort port_;
};

// Reads everything that arrives at the master, with the arrival time of each byte.
class MasterCollector {
public:
    using Clock = std::chrono::steady_clock;

    explicit MasterCollector(int masterFd);
    ~MasterCollector();
    MasterCollector(const MasterCollector&) = delete;
    MasterCollector& operator=(const MasterCollector&) = delete;

    QByteArray bytes() const;
    std::vector<Clock::time_point> arrivals() const;
    // Waits until at least n bytes have arrived; false on time-out.
    bool waitFor(qsizetype n, std::chrono::milliseconds timeout) const;
    void clear();

private:
    void run();

    int fd_;
    int stopFd_;
    mutable std::mutex lock_;
    mutable std::condition_variable arrived_;
    QByteArray bytes_;
    std::vector<Clock::time_point> arrivals_;
    std::thread thread_;
};

}  // namespace qev::test
