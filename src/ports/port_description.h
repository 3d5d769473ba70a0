#pragma once
// What a port is, in words for lists and tooltips: for an adapter its maker, model and serial
// number (from sysfs on Linux, the system's friendly name on Windows), "built-in serial port",
// "linked by hand", or "no device". Found without opening anything.

#include "ports/port_assignment.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace qev {

struct PortInfo {
    quint16 number = 0;
    bool present = false;  // as the port prompt's availability test finds it
    QString device;        // the device it leads to; empty when absent
    QString description;
};

// Ports in the order given; on Windows the system is asked once for all of them.
QList<PortInfo> describePorts(const QList<quint16>& numbers, const PortRoots& roots = {});
PortInfo describePort(quint16 n, const PortRoots& roots = {});

#ifdef _WIN32
// The ports Device Manager lists, "COM3" -> "USB Serial Port (COM3)", asked of the Setup API.
QHash<QString, QString> systemPortNames();
#endif

// A port's tooltip: its description and device on two lines; for an absent port its description
// ("no device", or why not).
QString portTipText(const PortInfo& info);

// The USB device behind a serial device, from sysfs. Texts are as the device gives them, with
// control characters taken out.
struct UsbAdapterInfo {
    QString vendorId;  // "0403"
    QString productId;
    QString manufacturer;
    QString product;
    QString serial;
};
std::optional<UsbAdapterInfo> usbAdapterInfo(const QString& devicePath,
                                             const QString& sysfsRoot = QStringLiteral("/sys"));

// "FTDI FT232R USB UART (A1B2C3)": maker and model (the model alone when it names the maker),
// then the serial number in parentheses.
QString adapterDescription(const UsbAdapterInfo& info);

// A text from a device or another program made fit to show: control characters become spaces,
// runs of spaces one, and it is cut at 80 characters.
QString printableText(const QString& text);

}  // namespace qev
