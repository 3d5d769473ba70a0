#pragma once
// COM numbers for serial adapters on Linux: each adapter that udev names under /dev/serial gets
// the lowest free number from 1 to 50 as a COM<n> link in the ports folder, which then stays
// with it across unplugging and reboots, as a COM number does on Windows. Links the user made
// are left as they are. Nothing here opens a port. On Windows the system numbers its ports, and
// all of this does nothing.

#include "base/exception.h"
#include "ports/device_naming.h"

#include <QList>
#include <QString>

#include <atomic>

namespace qev {

// The highest port number the window's prompt and the commands offer.
inline constexpr quint16 kMaxPortNumber = 50;

// Where the devices, sysfs and the COM<n> links are; tests give trees of their own.
struct PortRoots {
    QString dev = QStringLiteral("/dev");
    QString sysfs = QStringLiteral("/sys");
    QString links = portLinkFolder();
};

// The link COM<n> in roots.links.
QString portLinkPath(quint16 n, const PortRoots& roots = {});

// What port n's name leads to: its link when there is one (also one that cannot be looked at),
// else the built-in port /dev/ttyS<n-1>; on Windows the system's "\\.\COM<n>".
QString portPath(quint16 n, const PortRoots& roots = {});
// Whether port n is there to be used, asked without opening it: the one test every list of the
// ports and the port prompt use. False for 0.
bool portPresent(quint16 n, const PortRoots& roots = {});

// A serial adapter as udev names it.
struct SerialAdapter {
    QString name;    // its entry under <dev>/serial/by-id, or by-path where it has no by-id one
    QString device;  // what that leads to now, e.g. /dev/ttyUSB0
};

// The adapters that are there now, one per device, in the order of their devices (ttyACM0,
// ttyUSB0, ttyUSB1, ..., ttyUSB10). Entries that are no serial device are left out.
QList<SerialAdapter> findSerialAdapters(const PortRoots& roots = {});

struct PortAssignment {
    QList<quint16> assigned;  // the numbers this call linked
    QString problem;          // why an adapter got no number; empty when none was left out
    bool busy = false;  // another program held the ports folder's lock (problem says so): later
};

// How long a change of the ports folder waits for another program's; milliseconds.
inline constexpr int kPortLockWaitMs = 3000;

// Links every adapter that no COM<n> link leads to yet as COM<n>, n being the lowest number
// with no link and no built-in port that is really there. Holds a lock in the ports folder
// while it writes, so two programs listing at once make one link per adapter, and never
// replaces an existing link. The lock is waited for lockWaitMs at most (0: not at all, as on a
// window's thread), and no longer once *cancel is set.
PortAssignment assignPortNumbers(const PortRoots& roots = {}, int lockWaitMs = kPortLockWaitMs,
                                 const std::atomic<bool>* cancel = nullptr);

// The numbers whose links lead to the device that path leads to, ascending.
QList<quint16> portsLeadingTo(const QString& path, const PortRoots& roots = {});

// A link that cannot be made or removed, with the reason.
class EPortLinkError : public Exception {
public:
    using Exception::Exception;
};

// Makes COM<n> a link to device, which must be a serial device that is there (a relative
// path is taken from the current folder). An existing link is replaced only with replace, and
// then in one step; anything in its place that is no link is never touched. Returns where the
// link led before, empty when there was none. Raises EPortLinkError.
QString linkPort(quint16 n, const QString& device, bool replace, const PortRoots& roots = {});

// Removes the link COM<n>, which frees its number; returns where it led. Raises
// EPortLinkError when there is none, or when what is there is no link.
QString unlinkPort(quint16 n, const PortRoots& roots = {});

}  // namespace qev
