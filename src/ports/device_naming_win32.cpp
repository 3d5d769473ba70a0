// On Windows the port names are the system's own: "\\.\COM<n>" opens port n directly.

#include "ports/device_naming.h"
#include "ports/network_port.h"

#include <QRegularExpression>

#include <windows.h>

#include <vector>

namespace qev {

namespace {

const QString kDevicePrefix = QStringLiteral("\\\\.\\");

}  // namespace

QString portLinkFolder() {
    return {};
}

QString comDeviceName(quint16 n) {
    return kDevicePrefix + QStringLiteral("COM%1").arg(n);
}

QString resolveDeviceName(const QString& name) {
    if (name.startsWith(kDevicePrefix, Qt::CaseInsensitive))
        return name;
    // "COM10" and above open only through the device namespace.
    static const QRegularExpression com(QStringLiteral("^COM[0-9]{1,5}$"),
                                        QRegularExpression::CaseInsensitiveOption);
    return com.match(name).hasMatch() ? kDevicePrefix + name : name;
}

DeviceCheck examineDevice(const QString& path, const QString& sysfsRoot) {
    // Every name the device namespace knows as a port is one; the system refuses the rest.
    if (serialDevicePresent(path, sysfsRoot))
        return {DeviceCheck::Serial, {}, 0};
    return {};
}

QString portsHint() {
    return QStringLiteral("Connect the clock's adapter; Device Manager shows its COMn name.");
}

QString portAbsenceReason(quint16) {
    return {};  // no links here: a port is there or it is not
}

bool serialDevicePresent(const QString& path, const QString&) {
    if (parseNetworkPort(path))
        return true;  // whether it answers only a connection tells
    QString name = path;
    if (name.startsWith(kDevicePrefix, Qt::CaseInsensitive))
        name = name.mid(kDevicePrefix.size());
    if (name.isEmpty())
        return false;
    // The device namespace knows every port the system has, without opening any of them.
    std::vector<wchar_t> target(1024);
    if (::QueryDosDeviceW(reinterpret_cast<LPCWSTR>(name.utf16()), target.data(),
                          DWORD(target.size())) != 0)
        return true;
    return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace qev
