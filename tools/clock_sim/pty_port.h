#pragma once
// A pseudo-terminal that stands in for a serial port: QEV opens the slave through a COMn link
// in its ports folder, and the master side receives what QEV writes.

#include <QByteArray>
#include <QString>

namespace qev::clocksim {

class PtyPort {
public:
    // Opens a pty in raw mode. Throws std::runtime_error with the system's reason on failure.
    PtyPort();
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    int masterFd() const { return master_; }
    // Closes the master side, as an adapter unplugged: the slave's writes then fail.
    void closeMaster();
    // The slave side as this object keeps it open (for flow control, say).
    int slaveFd() const { return slaveKeeper_; }
    const QString& slavePath() const { return slavePath_; }

    // Points <folder>/COM<n> at the slave, creating the folder. An existing entry is replaced
    // only when it is a link into /dev/pts (a leftover of an earlier run); anything else, such
    // as a link to a real adapter, is kept and this throws. The link goes away with this object.
    void linkAs(const QString& folder, int comNumber);
    const QString& linkPath() const { return link_; }

    // Reads what has arrived, waiting at most timeoutMs (-1: no limit). Empty on timeout.
    QByteArray read(int timeoutMs);

private:
    int master_ = -1;
    int slaveKeeper_ = -1;  // keeps the line up between QEV's opens, so the master never hangs up
    QString slavePath_;
    QString link_;
};

}  // namespace qev::clocksim
