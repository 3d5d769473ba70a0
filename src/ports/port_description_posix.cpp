#include "ports/port_description.h"

#include "ports/network_port.h"
#include "ports/real_path.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

namespace qev {

namespace {

// A sysfs attribute; plain reads, as a listing reads a few for every adapter.
QString sysfsText(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[512];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return n > 0 ? printableText(QString::fromUtf8(buffer, n)) : QString();
}

bool builtInPort(const QString& device) {
    static const QRegularExpression legacy(QStringLiteral("^/dev/ttyS[0-9]+$"));
    return legacy.match(device).hasMatch();
}

}  // namespace

QList<PortInfo> describePorts(const QList<quint16>& numbers, const PortRoots& roots) {
    QList<PortInfo> ports;
    ports.reserve(numbers.size());
    for (const quint16 n : numbers) {
        PortInfo info;
        info.number = n;
        // Found as a send finds it, and present as the prompt's test says.
        const QString path = portPath(n, roots);
        const bool linked = path == portLinkPath(n, roots);
        info.present = portPresent(n, roots);
        if (!info.present) {
            info.description = QStringLiteral("no device");
            ports.append(info);
            continue;
        }
        if (const auto server = parseNetworkPort(path)) {
            info.device = path;
            info.description = networkPortDescription(*server);
            ports.append(info);
            continue;
        }
        const QString device = realPath(path);
        info.device = device.isEmpty() ? path : device;
        if (const auto usb = usbAdapterInfo(path, roots.sysfs))
            info.description = adapterDescription(*usb);
        else if (!linked || builtInPort(info.device))
            info.description = QStringLiteral("built-in serial port");
        else
            info.description = QStringLiteral("linked by hand");
        ports.append(info);
    }
    return ports;
}

std::optional<UsbAdapterInfo> usbAdapterInfo(const QString& devicePath, const QString& sysfsRoot) {
    struct stat st {};
    if (::stat(QFile::encodeName(devicePath).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    const QString top = realPath(sysfsRoot);
    if (top.isEmpty())
        return std::nullopt;
    // The kernel files the device under its numbers; above the tty's own device lie the USB
    // interface and then the USB device, which alone has the vendor's and product's numbers.
    QString dir = realPath(
        sysfsRoot +
        QStringLiteral("/dev/char/%1:%2/device").arg(major(st.st_rdev)).arg(minor(st.st_rdev)));
    for (; dir.startsWith(top + QLatin1Char('/')); dir = QFileInfo(dir).path()) {
        if (::access(QFile::encodeName(dir + QStringLiteral("/idVendor")).constData(), F_OK) != 0)
            continue;
        UsbAdapterInfo info;
        info.vendorId = sysfsText(dir + QStringLiteral("/idVendor"));
        info.productId = sysfsText(dir + QStringLiteral("/idProduct"));
        info.manufacturer = sysfsText(dir + QStringLiteral("/manufacturer"));
        info.product = sysfsText(dir + QStringLiteral("/product"));
        info.serial = sysfsText(dir + QStringLiteral("/serial"));
        return info;
    }
    return std::nullopt;
}

}  // namespace qev
