#include "ports/port_holder.h"

#include "ports/port_description.h"
#include "ports/real_path.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <memory>

namespace qev {

namespace {

constexpr qsizetype kHoldersNamed = 3;
const QString kModemManager = QStringLiteral("ModemManager");

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

Dir openDir(const QString& path) {
    return Dir(::opendir(QFile::encodeName(path).constData()));
}

// The process ids under procRoot.
QList<qint64> processIds(const QString& procRoot) {
    QList<qint64> pids;
    const Dir proc = openDir(procRoot);
    if (!proc)
        return pids;
    while (const dirent* entry = ::readdir(proc.get())) {
        bool number = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&number);
        if (number && pid > 0)
            pids.append(pid);
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

QByteArray readSmall(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}

QString commandName(const QString& procRoot, qint64 pid) {
    return QString::fromUtf8(readSmall(QStringLiteral("%1/%2/comm").arg(procRoot).arg(pid)))
        .trimmed();
}

// The kernel keeps 15 characters of a command's name; the program's file name is whole, where
// it is that name.
QString processName(const QString& procRoot, qint64 pid) {
    const QString command = commandName(procRoot, pid);
    const QByteArray arguments = readSmall(QStringLiteral("%1/%2/cmdline").arg(procRoot).arg(pid));
    const QString program =
        QString::fromUtf8(arguments.left(arguments.indexOf('\0'))).section(QLatin1Char('/'), -1);
    const QString name = !command.isEmpty() && program.startsWith(command) ? program : command;
    const QString shown = printableText(name);
    return shown.isEmpty() ? QStringLiteral("a program") : shown;
}

// The processes whose open files include the device rdev.
QList<qint64> openers(const QString& procRoot, dev_t rdev) {
    QList<qint64> pids;
    for (const qint64 pid : processIds(procRoot)) {
        const Dir fds = openDir(QStringLiteral("%1/%2/fd").arg(procRoot).arg(pid));
        if (!fds)
            continue;  // another user's, or gone
        while (const dirent* entry = ::readdir(fds.get())) {
            struct stat st {};
            if (entry->d_name[0] != '.' &&
                ::fstatat(::dirfd(fds.get()), entry->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == rdev) {
                pids.append(pid);
                break;
            }
        }
    }
    return pids;
}

// The processes that the locks table shows holding a lock on the file (fileSystem, inode):
// "1: FLOCK  ADVISORY  WRITE 4242 00:05:1037 0 EOF". Lines with "->" are waiters.
QSet<qint64> lockers(const QString& procRoot, dev_t fileSystem, ino_t inode) {
    QSet<qint64> pids;
    QFile locks(procRoot + QStringLiteral("/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return pids;
    const QByteArray wanted = QStringLiteral("%1:%2:%3")
                                  .arg(major(fileSystem), 2, 16, QLatin1Char('0'))
                                  .arg(minor(fileSystem), 2, 16, QLatin1Char('0'))
                                  .arg(inode)
                                  .toLatin1();
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (line.contains("->") || fields.size() < 6 || fields.at(5) != wanted)
            continue;
        bool number = false;
        const qint64 pid = fields.at(4).toLongLong(&number);
        if (number && pid > 0)
            pids.insert(pid);
    }
    return pids;
}

QList<qint64> processesNamed(const QString& procRoot, const QString& name) {
    QList<qint64> pids;
    for (const qint64 pid : processIds(procRoot)) {
        if (commandName(procRoot, pid) == name)
            pids.append(pid);
    }
    return pids;
}

// "a", "a and b", "a, b and c", "a, b, c and 2 more".
QString listed(const QList<PortHolder>& holders) {
    QStringList names;
    for (qsizetype i = 0; i < holders.size() && i < kHoldersNamed; ++i)
        names << QStringLiteral("%1 (pid %2)").arg(holders.at(i).name).arg(holders.at(i).pid);
    if (holders.size() > kHoldersNamed)
        names << QStringLiteral("%1 more").arg(holders.size() - kHoldersNamed);
    const QString last = names.takeLast();
    return names.isEmpty() ? last
                           : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// How to keep ModemManager off this port: a udev rule that matches the adapter by its USB
// numbers (by the kernel's name where it has none), or stopping ModemManager.
QString modemManagerAdvice(const QString& devicePath, const QString& sysfsRoot) {
    const auto usb = usbAdapterInfo(devicePath, sysfsRoot);
    const QString match =
        usb && !usb->vendorId.isEmpty()
            ? QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\"")
                  .arg(usb->vendorId, usb->productId)
            : QStringLiteral("KERNEL==\"%1\"").arg(QFileInfo(realPath(devicePath)).fileName());
    return QStringLiteral(
               "ModemManager takes serial ports to look for modems on them. To make it leave "
               "this one alone, add the line %1, ENV{ID_MM_DEVICE_IGNORE}=\"1\" to a file such "
               "as /etc/udev/rules.d/99-qev.rules and plug the adapter in again, or stop "
               "ModemManager (sudo systemctl stop ModemManager)")
        .arg(match);
}

}  // namespace

QList<PortHolder> portHolders(const QString& devicePath, const QString& procRoot) {
    struct stat st {};
    if (::stat(QFile::encodeName(devicePath).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return {};
    const QList<qint64> open = openers(procRoot, st.st_rdev);
    const QSet<qint64> locking = lockers(procRoot, st.st_dev, st.st_ino);
    // A lock is what refuses the open; the others merely have the device open. A lock holder
    // whose files cannot be seen (another user's) is named all the same.
    QList<qint64> chosen;
    for (const qint64 pid : open) {
        if (locking.contains(pid))
            chosen.append(pid);
    }
    if (chosen.isEmpty()) {
        for (const qint64 pid : locking) {
            if (QFileInfo::exists(QStringLiteral("%1/%2").arg(procRoot).arg(pid)))
                chosen.append(pid);
        }
    }
    if (chosen.isEmpty())
        chosen = open;
    std::sort(chosen.begin(), chosen.end());
    QList<PortHolder> holders;
    for (const qint64 pid : chosen)
        holders.append({pid, processName(procRoot, pid)});
    return holders;
}

QString portHolderText(const QString& devicePath, const QString& procRoot,
                       const QString& sysfsRoot) {
    const QList<PortHolder> holders = portHolders(devicePath, procRoot);
    if (holders.isEmpty()) {
        // ModemManager runs as root: its open files are not shown to the user.
        const QList<qint64> modemManager = processesNamed(procRoot, kModemManager);
        if (modemManager.isEmpty())
            return {};
        return QStringLiteral(
                   "no program of yours has it open, but ModemManager (pid %1) runs and may "
                   "hold it. %2")
            .arg(modemManager.first())
            .arg(modemManagerAdvice(devicePath, sysfsRoot));
    }
    QString text = QStringLiteral("in use by ") + listed(holders);
    if (std::any_of(holders.begin(), holders.end(),
                    [](const PortHolder& h) { return h.name == kModemManager; }))
        text += QStringLiteral(". ") + modemManagerAdvice(devicePath, sysfsRoot);
    return text;
}

}  // namespace qev
