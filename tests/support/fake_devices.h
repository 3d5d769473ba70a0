#pragma once
// Test support: a /dev and a /sys of the test's own, with serial adapters that udev would name
// under dev/serial/by-id (pseudo terminals stand in for their devices, and sys describes their
// USB devices), built-in ports, and a folder for the COM<n> links.

#include "ports/port_assignment.h"
#include "pty_pair.h"

#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>

namespace qev::test {

struct UsbIdentity {
    QString vendorId = QStringLiteral("0403");
    QString productId = QStringLiteral("6001");
    QString manufacturer = QStringLiteral("FTDI");
    QString product = QStringLiteral("FT232R USB UART");
    QString serial = QStringLiteral("A1B2C3");
};

class FakeDevices {
public:
    FakeDevices();

    // The links folder is <root>/config/QEV/ports: XDG_CONFIG_HOME=<root>/config makes it the
    // program's own.
    PortRoots roots() const;
    QString root() const { return dir_.path(); }

    // Plugs an adapter in as the next dev/ttyUSB<k>, named dev/serial/<kind>/<name>; returns
    // that name's path. kind "by-path" makes a by-path name only.
    QString plug(const QString& name, const UsbIdentity& usb = {},
                 const QString& kind = QStringLiteral("by-id"));
    void unplug(const QString& name);
    // The device an adapter's name leads to now.
    QString deviceOf(const QString& name) const;
    // A dev/serial/by-id entry that leads to target, which is no adapter.
    void nameOnly(const QString& name, const QString& target);
    // dev/ttyS<k>, a built-in port that is really there.
    void builtIn(int k);
    // Makes COM<n> a link to target, as a user would.
    void link(int n, const QString& target);
    // Every COM<n> link and what it says.
    QMap<int, QString> links() const;

private:
    QTemporaryDir dir_;
    std::map<QString, std::unique_ptr<PtyPair>> ptys_;  // by name, and "ttyS<k>"
    int nextTty_ = 0;
};

}  // namespace qev::test
