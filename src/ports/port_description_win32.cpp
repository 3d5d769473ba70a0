// Windows names its ports itself: the description is the friendly name that Device Manager
// shows, asked of the Setup API without opening the port.

#include "ports/port_description.h"

#include "ports/network_port.h"

#include <QHash>

#include <windows.h>

#include <setupapi.h>

namespace qev {

namespace {

// The "Ports (COM & LPT)" device class.
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

class DeviceList {
public:
    DeviceList() : set_(::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT)) {}
    ~DeviceList() {
        if (set_ != INVALID_HANDLE_VALUE)
            ::SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

class RegistryKey {
public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() {
        if (key_ != INVALID_HANDLE_VALUE)
            ::RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_;
};

// The "COM3" a port device has in its device key.
QString portName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const RegistryKey key(
        ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    if (key.get() == INVALID_HANDLE_VALUE)
        return {};
    wchar_t name[64] = {};
    DWORD size = sizeof(name) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return QString::fromWCharArray(name);
}

QString deviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[256] = {};
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                             reinterpret_cast<BYTE*>(text),
                                             sizeof(text) - sizeof(wchar_t), nullptr))
        return {};
    return printableText(QString::fromWCharArray(text));
}

}  // namespace

QHash<QString, QString> systemPortNames() {
    QHash<QString, QString> names;
    const DeviceList list;
    if (list.get() == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(list.get(), i, &device); ++i) {
        const QString port = portName(list.get(), device).toUpper();
        if (port.isEmpty())
            continue;
        QString text = deviceText(list.get(), device, SPDRP_FRIENDLYNAME);
        if (text.isEmpty())
            text = deviceText(list.get(), device, SPDRP_DEVICEDESC);
        if (!text.isEmpty())
            names.insert(port, text);
    }
    return names;
}

QList<PortInfo> describePorts(const QList<quint16>& numbers, const PortRoots&) {
    const QHash<QString, QString> names = systemPortNames();
    QList<PortInfo> ports;
    ports.reserve(numbers.size());
    for (const quint16 n : numbers) {
        PortInfo info;
        info.number = n;
        info.present = portPresent(n);
        const QString name = QStringLiteral("COM%1").arg(n);
        const QString path = portPath(n);
        if (const auto server = parseNetworkPort(path)) {
            info.device = path;
            info.description = networkPortDescription(*server);
        } else if (info.present) {
            info.device = name;
            info.description = names.value(name, QStringLiteral("serial port"));
        } else {
            info.description = QStringLiteral("no device");
        }
        ports.append(info);
    }
    return ports;
}

std::optional<UsbAdapterInfo> usbAdapterInfo(const QString&, const QString&) {
    return std::nullopt;  // the friendly name says it all
}

}  // namespace qev
