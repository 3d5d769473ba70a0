#pragma once
// Test support: a pseudo terminal standing in for a serial line, and a collector that reads the
// master side as the device would.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace qev::test {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    // The test's own slave descriptor keeps the line up between our opens.
    int slave() const { return slave_; }
    const QString& slavePath() const { return slavePath_; }
    void closeMaster();
    // Stops / restarts the slave's output, as a peer's flow control would.
    void stall();
    void resume();
    // Fills the line's queue as a peer that stopped reading leaves it: the slave takes no more.
    void fill();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
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
