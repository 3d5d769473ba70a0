#pragma once
// Where port numbers lead: port n is "COM<n>", which resolves to the link
// $XDG_CONFIG_HOME/QEV/ports/COM<n> (default ~/.config/QEV/ports/COM<n>) when that exists,
// and to /dev/ttyS<n-1> otherwise. What a name leads to is examined without opening it.

#include <QString>

namespace qev {

// The folder of the COM<n> links: $XDG_CONFIG_HOME/QEV/ports, by default ~/.config/QEV/ports.
// Empty on Windows, whose ports need no links.
QString portLinkFolder();

// "\\.\COM<n>", the name a worker is given.
QString comDeviceName(quint16 n);

// The path a device name leads to. A leading "\\.\" is dropped (in any case); "COM<n>" is
// resolved as above; any other name is taken as a path. Only a link that is certainly absent
// gives way to /dev/ttyS<n-1>: a link that cannot be looked at is returned as it is, and the
// open reports it.
QString resolveDeviceName(const QString& name);

// What a device path leads to, found from its metadata alone: nothing is opened.
struct DeviceCheck {
    enum Verdict {
        Serial,        // a terminal device that can be a port
        Missing,       // nothing there, or a link to nothing
        NotSerial,     // something else; what says what, for messages
        Unexaminable,  // it could not be looked at; error holds the system's error number
    };
    Verdict verdict = Missing;
    QString what;
    int error = 0;
};

// Serial for terminal devices of the kernel's tty class and for pseudo-terminal slaves; the
// terminals that are no line to a device (/dev/tty, /dev/console, /dev/ptmx, the virtual
// consoles, the terminal this program runs in) and other character devices are NotSerial.
DeviceCheck examineDevice(const QString& path, const QString& sysfsRoot = QStringLiteral("/sys"));

// Whether path is a serial device that is really there, without opening it: Serial as above,
// and for /dev/ttyS<k> one with hardware behind it under sysfsRoot.
bool serialDevicePresent(const QString& path, const QString& sysfsRoot = QStringLiteral("/sys"));

// Why port n is not offered, for a list of the ports: a sentence naming its link and what is
// wrong with it. Empty when there is no link to tell about (no link and no device is normal).
QString portAbsenceReason(quint16 n);

// Where a port comes from, for telling a user that none is present.
QString portsHint();

}  // namespace qev
