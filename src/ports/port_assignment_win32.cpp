// Windows gives every port its COM number itself, and keeps it with the adapter. A number the
// system does not have may lead to a serial device server, kept in QEV's registry key.

#include "ports/network_port.h"
#include "ports/port_assignment.h"
#include "ports/port_description.h"

#include <windows.h>

namespace qev {

namespace {

const wchar_t kMapKey[] = L"Software\\QEV\\Ports";

EPortLinkError numberedBySystem() {
    return EPortLinkError(
        QStringLiteral("Windows numbers its ports itself; Device Manager changes a port's COM "
                       "number (its properties, Port Settings, Advanced). A COM number Windows "
                       "does not have may lead to a serial device server: give "
                       "rfc2217://HOST:PORT or tcp://HOST:PORT"));
}

QString valueName(quint16 n) {
    return QStringLiteral("COM%1").arg(n);
}

const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString systemText(LSTATUS status) {
    return qt_error_string(int(status));
}

// The server COMn leads to, as stored; empty when none is.
QString mappedServer(quint16 n) {
    wchar_t buffer[512];
    DWORD size = sizeof buffer;
    const QString name = valueName(n);
    if (::RegGetValueW(HKEY_CURRENT_USER, kMapKey, wide(name), RRF_RT_REG_SZ, nullptr, buffer,
                       &size) != ERROR_SUCCESS)
        return {};
    const QString text = QString::fromWCharArray(buffer);
    return parseNetworkPort(text) ? text : QString();
}

QString mapKeyText() {
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\QEV\\Ports");
}

}  // namespace

QString portLinkPath(quint16, const PortRoots&) {
    return {};
}

QString portPath(quint16 n, const PortRoots&) {
    const QString server = n == 0 ? QString() : mappedServer(n);
    return server.isEmpty() ? comDeviceName(n) : server;
}

bool portPresent(quint16 n, const PortRoots&) {
    return n != 0 && serialDevicePresent(portPath(n));
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

QString linkPort(quint16 n, const QString& device, bool replace, const PortRoots&) {
    if (!looksLikeNetworkPort(device))
        throw numberedBySystem();
    if (const QString error = networkPortError(device); !error.isEmpty())
        throw EPortLinkError(error + QStringLiteral(", so COM%1 was not linked").arg(n));
    // A port Device Manager lists is never hidden behind a server.
    const QHash<QString, QString> system = systemPortNames();
    if (const auto it = system.constFind(valueName(n)); it != system.cend())
        throw EPortLinkError(QStringLiteral("Windows has a COM%1 of its own (%2); give a number "
                                            "it does not have")
                                 .arg(n)
                                 .arg(*it));
    const QString previous = mappedServer(n);
    if (previous == device)
        return previous;
    if (!previous.isEmpty() && !replace)
        throw EPortLinkError(
            QStringLiteral("COM%1 already leads to \"%2\"; add --force to replace the link")
                .arg(n)
                .arg(previous));
    const QString name = valueName(n);
    const LSTATUS status = ::RegSetKeyValueW(HKEY_CURRENT_USER, kMapKey, wide(name), REG_SZ,
                                             wide(device), DWORD((device.size() + 1) * 2));
    if (status != ERROR_SUCCESS)
        throw EPortLinkError(QStringLiteral("\"%1\\%2\" cannot be written (%3)")
                                 .arg(mapKeyText(), name, systemText(status)));
    return previous;
}

QString unlinkPort(quint16 n, const PortRoots&) {
    const QString previous = mappedServer(n);
    if (previous.isEmpty())
        throw EPortLinkError(
            QStringLiteral("COM%1 has no link in \"%2\"").arg(n).arg(mapKeyText()));
    const QString name = valueName(n);
    const LSTATUS status = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kMapKey, wide(name));
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        throw EPortLinkError(QStringLiteral("\"%1\\%2\" cannot be removed (%3)")
                                 .arg(mapKeyText(), name, systemText(status)));
    return previous;
}

}  // namespace qev
