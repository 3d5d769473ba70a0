#include "ports/device_naming.h"

#include "base/config_folder.h"
#include "base/file_kind.h"
#include "ports/network_port.h"
#include "ports/port_assignment.h"
#include "ports/port_messages.h"
#include "ports/real_path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace qev {

namespace {

// The subsystem of a sysfs device folder, e.g. "pnp", "pci", "platform", "tty".
QString subsystemOf(const QString& deviceDir) {
    return QFileInfo(realPath(deviceDir + QStringLiteral("/subsystem"))).fileName();
}

// The controlling terminal of this process (0 when it has none), from field 7 of
// /proc/self/stat; the process name before it is in parentheses and may hold spaces.
dev_t controllingTerminal() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 5)
        return 0;
    const quint32 nr = fields.at(4).toUInt();
    return nr == 0 ? 0 : makedev((nr >> 8) & 0xfff, (nr & 0xff) | ((nr >> 12) & 0xfff00));
}

// What a terminal device is when it is no line to a device, by its numbers and its name
// (a container may mount a pseudo terminal on /dev/console); empty for a possible port.
QString terminalRole(dev_t device, const QString& canonical) {
    const unsigned maj = major(device);
    const unsigned min = minor(device);
    static const QRegularExpression virtualConsole(QStringLiteral("^/dev/tty[0-9]+$"));
    if ((maj == 5 && min == 0) || canonical == QStringLiteral("/dev/tty"))
        return QStringLiteral("the terminal of whichever program opens it");
    if ((maj == 5 && min == 1) || canonical == QStringLiteral("/dev/console"))
        return QStringLiteral("the system console");
    if ((maj == 5 && min == 2) || canonical == QStringLiteral("/dev/ptmx") ||
        canonical == QStringLiteral("/dev/pts/ptmx"))
        return QStringLiteral(
            "the pseudo-terminal multiplexer, which makes a new terminal at "
            "every open");
    if (maj == 5)
        return QStringLiteral("a terminal of the kernel's own");
    if ((maj == 4 && min < 64) || virtualConsole.match(canonical).hasMatch())
        return QStringLiteral("a virtual console");
    // Legacy (major 2) and numbered (128-135) pseudo-terminal masters.
    if (maj == 2 || (maj >= 128 && maj <= 135))
        return QStringLiteral("the master side of a pseudo terminal");
    if (device == controllingTerminal())
        return QStringLiteral("the terminal QEV runs in");
    return {};
}

// Pseudo-terminal slaves (/dev/pts/N) have no sysfs entry; the simulator and bridges use them.
bool pseudoTerminalSlave(dev_t device) {
    return major(device) >= 136 && major(device) <= 143;
}

DeviceCheck notSerial(const QString& what) {
    return {DeviceCheck::NotSerial, what, 0};
}

}  // namespace

QString portLinkFolder() {
    return configFolder() + QStringLiteral("/ports");
}

QString comDeviceName(quint16 n) {
    return QStringLiteral("\\\\.\\COM%1").arg(n);
}

QString resolveDeviceName(const QString& name) {
    QString rest = name;
    if (rest.startsWith(QStringLiteral("\\\\.\\"), Qt::CaseInsensitive))
        rest = rest.mid(4);
    static const QRegularExpression com(QStringLiteral("^COM([0-9]{1,5})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto match = com.match(rest);
    if (!match.hasMatch())
        return rest;
    const uint n = match.captured(1).toUInt();
    if (n == 0 || n > 0xFFFF)
        return rest;
    return portPath(quint16(n));
}

DeviceCheck examineDevice(const QString& path, const QString& sysfsRoot) {
    // A server's address is a port; whether it answers only a connection tells.
    if (parseNetworkPort(path))
        return {DeviceCheck::Serial, {}, 0};
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return errno == ENOENT ? DeviceCheck{} : DeviceCheck{DeviceCheck::Unexaminable, {}, errno};
    if (::stat(native.constData(), &st) != 0) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
                return {};
            case ELOOP:
                return notSerial(QStringLiteral("a link that leads round in a loop"));
            default:
                return {DeviceCheck::Unexaminable, {}, errno};
        }
    }
    if (!S_ISCHR(st.st_mode))
        return notSerial(fileKindText(path));
    const QString canonical = realPath(path);
    const QString role = terminalRole(st.st_rdev, canonical);
    if (!role.isEmpty())
        return notSerial(fileKindText(path) + QStringLiteral(", ") + role);
    if (pseudoTerminalSlave(st.st_rdev))
        return {DeviceCheck::Serial, {}, 0};
    // The kernel files every terminal it makes under its tty class; without sysfs that cannot
    // be asked, and the open's own terminal check has the last word.
    const QString byNumber = sysfsRoot + QStringLiteral("/dev/char");
    if (!QFileInfo(byNumber).isDir())
        return {DeviceCheck::Serial, {}, 0};
    const QString entry =
        byNumber + QStringLiteral("/%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
    if (subsystemOf(entry) == QStringLiteral("tty"))
        return {DeviceCheck::Serial, {}, 0};
    return notSerial(fileKindText(path) + QStringLiteral(", which is no terminal"));
}

bool serialDevicePresent(const QString& path, const QString& sysfsRoot) {
    if (examineDevice(path, sysfsRoot).verdict != DeviceCheck::Serial)
        return false;
    if (parseNetworkPort(path))
        return true;
    const QFileInfo target(realPath(path));
    static const QRegularExpression legacy(QStringLiteral("^ttyS[0-9]+$"));
    if (target.path() != QStringLiteral("/dev") || !legacy.match(target.fileName()).hasMatch())
        return true;
    // The kernel makes ttyS0..3 whether or not a UART is there; the hardware shows in sysfs.
    // Newer kernels put "serial-base" port devices between the tty and its controller.
    QString dir = realPath(sysfsRoot + QStringLiteral("/class/tty/") + target.fileName() +
                           QStringLiteral("/device"));
    while (!dir.isEmpty() && dir != sysfsRoot && dir != QStringLiteral("/")) {
        const QString subsystem = subsystemOf(dir);
        if (subsystem.isEmpty())
            return false;
        if (subsystem != QStringLiteral("serial-base"))
            return subsystem != QStringLiteral("platform");
        dir = QFileInfo(dir).path();
    }
    return false;
}

QString portsHint() {
    return QStringLiteral(
        "Plug in the clock's adapter: it gets the lowest free number. Port n is the link "
        "$XDG_CONFIG_HOME/QEV/ports/COMn (~/.config/QEV/ports/COMn) when there is one, "
        "otherwise /dev/ttyS<n-1>.");
}

QString portAbsenceReason(quint16 n) {
    const QString folder = portLinkFolder();
    const QString link = folder + QStringLiteral("/COM%1").arg(n);
    if (resolveDeviceName(comDeviceName(n)) != link)
        return {};  // no link: /dev/ttyS<n-1>, present or not, is nothing to tell about
    // When the folder itself cannot be looked at, that is the one thing to say for every port.
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 && errno != ENOENT)
        return QStringLiteral("the folder of the port links \"%1\" cannot be examined (%2)")
            .arg(folder, qt_error_string(errno));
    const DeviceCheck check = examineDevice(link);
    switch (check.verdict) {
        case DeviceCheck::Serial:
            if (serialDevicePresent(link))
                return {};
            return QStringLiteral("\"%1\" leads to \"%2\", which has no hardware behind it")
                .arg(link, QFileInfo(link).canonicalFilePath());
        case DeviceCheck::Missing:
            return QStringLiteral("\"%1\" leads to \"%2\", which does not exist")
                .arg(link, QFileInfo(link).symLinkTarget());
        case DeviceCheck::NotSerial:
            return notSerialDeviceText(link, check.what);
        case DeviceCheck::Unexaminable:
            return unexaminableText(link, check.error);
    }
    return {};
}

}  // namespace qev
