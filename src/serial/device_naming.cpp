#include "serial/device_naming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

namespace qev {

namespace {

QString configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

// The subsystem of a sysfs device folder, e.g. "pnp", "pci", "platform".
QString subsystemOf(const QString& deviceDir) {
    return QFileInfo(QFileInfo(deviceDir + QStringLiteral("/subsystem")).canonicalFilePath())
        .fileName();
}

}  // namespace

QString portLinkFolder() {
    return configHome() + QStringLiteral("/QEV/ports");
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
    if (n == 0)
        return rest;
    const QString link = portLinkFolder() + QStringLiteral("/COM%1").arg(n);
    // A dangling link still names the port: its device is missing, not some other one.
    const QFileInfo info(link);
    if (info.exists() || info.isSymLink())
        return link;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

bool serialDevicePresent(const QString& path, const QString& sysfsRoot) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const QFileInfo target(QFileInfo(path).canonicalFilePath());
    static const QRegularExpression legacy(QStringLiteral("^ttyS[0-9]+$"));
    if (target.path() != QStringLiteral("/dev") || !legacy.match(target.fileName()).hasMatch())
        return true;
    // The kernel makes ttyS0..3 whether or not a UART is there; the hardware shows in sysfs.
    // Newer kernels put "serial-base" port devices between the tty and its controller.
    QString dir = QFileInfo(sysfsRoot + QStringLiteral("/class/tty/") + target.fileName() +
                            QStringLiteral("/device"))
                      .canonicalFilePath();
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

}  // namespace qev
