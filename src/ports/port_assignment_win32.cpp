// Windows gives every port its COM number itself, and keeps it with the adapter.

#include "ports/port_assignment.h"

namespace qev {

namespace {

EPortLinkError numberedBySystem() {
    return EPortLinkError(
        QStringLiteral("Windows numbers its ports itself; Device Manager changes a port's COM "
                       "number (its properties, Port Settings, Advanced)"));
}

}  // namespace

QString portLinkPath(quint16, const PortRoots&) {
    return {};
}

QString portPath(quint16 n, const PortRoots&) {
    return comDeviceName(n);
}

bool portPresent(quint16 n, const PortRoots&) {
    return n != 0 && serialDevicePresent(comDeviceName(n));
}

QList<SerialAdapter> findSerialAdapters(const PortRoots&) {
    return {};
}

PortAssignment assignPortNumbers(const PortRoots&, int, const std::atomic<bool>*) {
    return {};
}

QList<quint16> portsLeadingTo(const QString&, const PortRoots&) {
    return {};
}

QString linkPort(quint16, const QString&, bool, const PortRoots&) {
    throw numberedBySystem();
}

QString unlinkPort(quint16, const PortRoots&) {
    throw numberedBySystem();
}

}  // namespace qev
