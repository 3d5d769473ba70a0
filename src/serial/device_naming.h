#pragma once
// Where port numbers lead: port n is "COM<n>", which resolves to the link
// $XDG_CONFIG_HOME/QEV/ports/COM<n> (default ~/.config/QEV/ports/COM<n>) when that exists,
// and to /dev/ttyS<n-1> otherwise.

#include <QString>

namespace qev {

// The folder of the COM<n> links: $XDG_CONFIG_HOME/QEV/ports, by default ~/.config/QEV/ports.
// Empty on Windows, whose ports need no links.
QString portLinkFolder();

// "\\.\COM<n>", the name a worker is given.
QString comDeviceName(quint16 n);

// The path a device name leads to. A leading "\\.\" is dropped (in any case); "COM<n>" is
// resolved as above; any other name is taken as a path.
QString resolveDeviceName(const QString& name);

// Whether path is a serial device that is really there, without opening it: a character
// device, and for /dev/ttyS<k> one with hardware behind it under sysfsRoot.
bool serialDevicePresent(const QString& path, const QString& sysfsRoot = QStringLiteral("/sys"));

}  // namespace qev
