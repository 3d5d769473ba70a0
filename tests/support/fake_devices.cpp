#include "fake_devices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <stdexcept>

namespace qev::test {

namespace {

void ensure(bool done, const char* what) {
    if (!done)
        throw std::runtime_error(what);
}

void write(const QString& path, const QString& text) {
    QFile file(path);
    ensure(file.open(QIODevice::WriteOnly), "cannot write a sysfs file");
    file.write(text.toUtf8() + '\n');
}

}  // namespace

FakeDevices::FakeDevices() {
    for (const char* folder :
         {"dev/serial/by-id", "dev/serial/by-path", "sys/dev/char", "config/QEV/ports"})
        ensure(QDir().mkpath(dir_.filePath(QLatin1String(folder))), "cannot make the tree");
}

PortRoots FakeDevices::roots() const {
    return {dir_.filePath("dev"), dir_.filePath("sys"), dir_.filePath("config/QEV/ports")};
}

QString FakeDevices::plug(const QString& name, const UsbIdentity& usb, const QString& kind) {
    auto pty = std::make_unique<PtyPair>();
    const int k = nextTty_++;
    const QString tty = dir_.filePath(QStringLiteral("dev/ttyUSB%1").arg(k));
    ensure(QFile::link(pty->slavePath(), tty), "cannot make the tty");
    const QString named = dir_.filePath(QStringLiteral("dev/serial/%1/%2").arg(kind, name));
    ensure(QFile::link(tty, named), "cannot name the adapter");

    // sys/dev/char/<numbers> -> the tty, whose device is the port, under the USB interface,
    // under the USB device that has the numbers and the strings.
    const QString usbDevice = dir_.filePath(QStringLiteral("sys/devices/usb1/1-%1").arg(k + 1));
    const QString port = usbDevice + QStringLiteral("/1-%1:1.0/ttyUSB%2").arg(k + 1).arg(k);
    const QString ttyDir = port + QStringLiteral("/tty/ttyUSB%1").arg(k);
    ensure(QDir().mkpath(ttyDir), "cannot make the sysfs device");
    ensure(QFile::link(port, ttyDir + QStringLiteral("/device")), "cannot link the port");
    write(usbDevice + QStringLiteral("/idVendor"), usb.vendorId);
    write(usbDevice + QStringLiteral("/idProduct"), usb.productId);
    write(usbDevice + QStringLiteral("/manufacturer"), usb.manufacturer);
    write(usbDevice + QStringLiteral("/product"), usb.product);
    if (!usb.serial.isEmpty())
        write(usbDevice + QStringLiteral("/serial"), usb.serial);
    struct stat st {};
    ensure(::stat(QFile::encodeName(pty->slavePath()).constData(), &st) == 0, "no pty");
    const QString numbers = dir_.filePath(
        QStringLiteral("sys/dev/char/%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev)));
    QFile::remove(numbers);
    ensure(QFile::link(ttyDir, numbers), "cannot file the device by its numbers");
    ptys_[name] = std::move(pty);
    return named;
}

void FakeDevices::unplug(const QString& name) {
    for (const char* kind : {"by-id", "by-path"}) {
        const QFileInfo named(dir_.filePath(QStringLiteral("dev/serial/%1/").arg(kind) + name));
        if (named.isSymLink()) {
            QFile::remove(named.symLinkTarget());
            QFile::remove(named.filePath());
        }
    }
    ptys_.erase(name);
}

QString FakeDevices::deviceOf(const QString& name) const {
    return ptys_.at(name)->slavePath();
}

void FakeDevices::nameOnly(const QString& name, const QString& target) {
    ensure(QFile::link(target, dir_.filePath(QStringLiteral("dev/serial/by-id/") + name)),
           "cannot make the name");
}

void FakeDevices::builtIn(int k) {
    auto pty = std::make_unique<PtyPair>();
    ensure(QFile::link(pty->slavePath(), dir_.filePath(QStringLiteral("dev/ttyS%1").arg(k))),
           "cannot make the built-in port");
    ptys_[QStringLiteral("ttyS%1").arg(k)] = std::move(pty);
}

void FakeDevices::link(int n, const QString& target) {
    ensure(QFile::link(target, dir_.filePath(QStringLiteral("config/QEV/ports/COM%1").arg(n))),
           "cannot link the port");
}

QMap<int, QString> FakeDevices::links() const {
    QMap<int, QString> links;
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        const QFileInfo link(dir_.filePath(QStringLiteral("config/QEV/ports/COM%1").arg(n)));
        if (link.isSymLink())
            links[n] = link.symLinkTarget();
    }
    return links;
}

}  // namespace qev::test
