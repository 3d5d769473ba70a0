#include "ports/port_assignment.h"

#include "base/file_kind.h"
#include "ports/network_port.h"
#include "ports/real_path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <tuple>
#include <vector>

namespace qev {

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// Whether anything is at path itself (a link is not followed). What cannot be looked at may be
// there all the same, so it counts as there: its number is not free.
bool entryThere(const QString& path) {
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0 || errno != ENOENT;
}

// The text a link holds, as it was written (a server's address is no path to resolve).
QString linkText(const QString& link) {
    char buffer[4096];
    const ssize_t n = ::readlink(native(link).constData(), buffer, sizeof buffer);
    return n > 0 ? QFile::decodeName(QByteArray(buffer, int(n))) : QString();
}

// Where a link leads: a server's address as written, a path made absolute.
QString linkTarget(const QString& link) {
    const QString text = linkText(link);
    return parseNetworkPort(text) ? text : QFile::symLinkTarget(link);
}

// The numbers that have links, and the devices those links lead to now. Built-in ports are
// looked at only for numbers that are candidates, in assignNext.
struct Links {
    std::array<bool, kMaxPortNumber + 1> there{};
    QSet<QString> reached;
};

Links scanLinks(const PortRoots& roots) {
    Links links;
    for (quint16 n = 1; n <= kMaxPortNumber; ++n) {
        const QString link = portLinkPath(n, roots);
        if (!entryThere(link))
            continue;
        links.there[n] = true;
        if (const QString device = realPath(link); !device.isEmpty())
            links.reached.insert(device);
    }
    return links;
}

QList<SerialAdapter> unlinked(const QList<SerialAdapter>& adapters, const Links& links) {
    QList<SerialAdapter> rest;
    for (const SerialAdapter& adapter : adapters) {
        if (!links.reached.contains(adapter.device))
            rest.append(adapter);
    }
    return rest;
}

// ttyUSB2 before ttyUSB10: the name's stem, then the number at its end. The kernel's name is
// where udev's entry leads in one step; what lies past it (a link of an administrator's, say)
// does not change the order.
struct Ordered {
    SerialAdapter adapter;
    QString stem;
    qulonglong number = 0;
};

Ordered ordered(const SerialAdapter& adapter) {
    static const QRegularExpression numbered(QStringLiteral("^(.*?)([0-9]+)$"));
    const QString target = QFileInfo(adapter.name).symLinkTarget();
    const QString kernelName = target.isEmpty() ? adapter.device : target;
    const auto m = numbered.match(kernelName);
    if (!m.hasMatch())
        return {adapter, kernelName, 0};
    return {adapter, m.captured(1), m.captured(2).toULongLong()};
}

void sortInDeviceOrder(QList<SerialAdapter>& adapters) {
    std::vector<Ordered> keyed;
    keyed.reserve(size_t(adapters.size()));
    for (const SerialAdapter& adapter : adapters)
        keyed.push_back(ordered(adapter));
    std::sort(keyed.begin(), keyed.end(), [](const Ordered& a, const Ordered& b) {
        return std::tie(a.stem, a.number, a.adapter.name) <
               std::tie(b.stem, b.number, b.adapter.name);
    });
    adapters.clear();
    for (const Ordered& k : keyed)
        adapters.append(k.adapter);
}

// A sentence of its own as part of a longer one.
QString uncapitalised(QString text) {
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

QString lockProblem(const QLockFile& lock, const QString& folder) {
    switch (lock.error()) {
        case QLockFile::LockFailedError:
            return QStringLiteral("Another program kept the folder of the port links \"%1\" busy")
                .arg(folder);
        case QLockFile::PermissionError:
            return QStringLiteral("The folder of the port links \"%1\" may not be written")
                .arg(folder);
        default:
            return QStringLiteral("The folder of the port links \"%1\" could not be locked")
                .arg(folder);
    }
}

// Holds the ports folder's lock, making the folder first; raises EPortLinkError when it cannot,
// EPortsBusy when another program held it for all of waitMs (or until *cancel).
class EPortsBusy : public EPortLinkError {
public:
    using EPortLinkError::EPortLinkError;
};

class FolderLock {
public:
    explicit FolderLock(const QString& folder, int waitMs = kPortLockWaitMs,
                        const std::atomic<bool>* cancel = nullptr)
        : lock_(folder + QStringLiteral("/.lock")) {
        if (!QDir().mkpath(folder))
            throw EPortLinkError(
                QStringLiteral("The folder of the port links \"%1\" cannot be made").arg(folder));
        // A lock file older than a second was left by a program that ended while making it.
        lock_.setStaleLockTime(1000);
        // In slices, so that a cancel request is seen while another program holds it.
        constexpr int kSliceMs = 50;
        for (int waited = 0;; waited += kSliceMs) {
            const int slice = std::min(kSliceMs, waitMs - waited);
            if (lock_.tryLock(std::max(slice, 0)))
                return;
            if (lock_.error() != QLockFile::LockFailedError)
                throw EPortLinkError(lockProblem(lock_, folder));
            if (slice <= 0 || (cancel && cancel->load()))
                throw EPortsBusy(lockProblem(lock_, folder));
        }
    }

private:
    QLockFile lock_;
};

// Links adapter as the lowest free number; false when none is left. Raises EPortLinkError when
// a link cannot be written.
bool assignNext(const SerialAdapter& adapter, const PortRoots& roots, Links& links,
                QList<quint16>& assigned) {
    for (quint16 n = 1; n <= kMaxPortNumber; ++n) {
        if (links.there[n] ||
            serialDevicePresent(roots.dev + QStringLiteral("/ttyS%1").arg(n - 1), roots.sysfs))
            continue;
        // symlink() makes the entry with its target in one step and fails when the name is
        // taken, so nothing half-written is ever seen and no link is ever replaced.
        const QString link = portLinkPath(n, roots);
        if (::symlink(native(adapter.name).constData(), native(link).constData()) == 0) {
            links.there[n] = true;
            links.reached.insert(adapter.device);
            assigned.append(n);
            return true;
        }
        if (errno != EEXIST)
            throw EPortLinkError(
                QStringLiteral("\"%1\" cannot be written (%2)").arg(link, qt_error_string(errno)));
        links.there[n] = true;  // made by hand meanwhile
    }
    return false;
}

// Whether a link has the name link. Raises EPortLinkError when the name cannot be looked at, or
// when something other than a link has it: QEV never replaces nor removes such a thing.
bool linkThere(const QString& link) {
    struct stat st {};
    if (::lstat(native(link).constData(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return false;
        throw EPortLinkError(
            QStringLiteral("\"%1\" cannot be examined (%2)").arg(link, qt_error_string(error)));
    }
    if (!S_ISLNK(st.st_mode))
        throw EPortLinkError(QStringLiteral("\"%1\" is no link (it is %2); QEV leaves it alone")
                                 .arg(link, fileKindText(link)));
    return true;
}

QString noLinkMade(quint16 n) {
    return QStringLiteral("so COM%1 was not linked").arg(n);
}

}  // namespace

QString portLinkPath(quint16 n, const PortRoots& roots) {
    return roots.links + QStringLiteral("/COM%1").arg(n);
}

QString portPath(quint16 n, const PortRoots& roots) {
    // A dangling link still names the port: its device is missing, not some other one. A link
    // that cannot be looked at (a path too long, a folder that may not be searched) may be
    // there all the same, so it is no reason to take another device either.
    const QString link = portLinkPath(n, roots);
    if (!roots.links.isEmpty() && entryThere(link)) {
        // A serial device server's address is the port's name itself.
        const QString text = linkText(link);
        return parseNetworkPort(text) ? text : link;
    }
    return roots.dev + QStringLiteral("/ttyS%1").arg(n - 1);
}

bool portPresent(quint16 n, const PortRoots& roots) {
    return n != 0 && serialDevicePresent(portPath(n, roots), roots.sysfs);
}

QList<SerialAdapter> findSerialAdapters(const PortRoots& roots) {
    QList<SerialAdapter> adapters;
    QSet<QString> devices;
    // by-path names only the adapters that have no by-id name.
    for (const QString& kind : {QStringLiteral("by-id"), QStringLiteral("by-path")}) {
        const QDir folder(roots.dev + QStringLiteral("/serial/") + kind);
        QStringList names = folder.entryList(
            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
        std::sort(names.begin(), names.end());
        for (const QString& name : names) {
            const QString path = folder.filePath(name);
            if (!serialDevicePresent(path, roots.sysfs))
                continue;
            const QString device = realPath(path);
            if (device.isEmpty() || devices.contains(device))
                continue;
            devices.insert(device);
            adapters.append({path, device});
        }
    }
    sortInDeviceOrder(adapters);
    return adapters;
}

PortAssignment assignPortNumbers(const PortRoots& roots, int lockWaitMs,
                                 const std::atomic<bool>* cancel) {
    PortAssignment result;
    if (roots.links.isEmpty())
        return result;
    const QList<SerialAdapter> adapters = findSerialAdapters(roots);
    // Most listings find every adapter linked already: then nothing is written or locked.
    if (unlinked(adapters, scanLinks(roots)).isEmpty())
        return result;
    try {
        const FolderLock lock(roots.links, lockWaitMs, cancel);
        // Again under the lock: another program may have linked some meanwhile.
        Links links = scanLinks(roots);
        for (const SerialAdapter& adapter : unlinked(adapters, links)) {
            if (!assignNext(adapter, roots, links, result.assigned)) {
                result.problem =
                    QStringLiteral(
                        "all %1 port numbers are taken, so \"%2\" got none; remove a link that is "
                        "not needed from \"%3\"")
                        .arg(kMaxPortNumber)
                        .arg(adapter.name, roots.links);
                break;
            }
        }
    } catch (const EPortsBusy& e) {
        result.busy = true;
        result.problem = uncapitalised(e.message());
    } catch (const EPortLinkError& e) {
        result.problem = uncapitalised(e.message());
    }
    return result;
}

QList<quint16> portsLeadingTo(const QString& path, const PortRoots& roots) {
    QList<quint16> numbers;
    const QString device = realPath(path);
    if (device.isEmpty() || roots.links.isEmpty())
        return numbers;
    for (quint16 n = 1; n <= kMaxPortNumber; ++n) {
        if (realPath(portLinkPath(n, roots)) == device)
            numbers.append(n);
    }
    return numbers;
}

namespace {

// Raises EPortLinkError unless device is a serial device that is there now, or a server's
// address.
void checkLinkTarget(quint16 n, const QString& target, const PortRoots& roots) {
    if (looksLikeNetworkPort(target)) {
        if (const QString error = networkPortError(target); !error.isEmpty())
            throw EPortLinkError(error + QStringLiteral(", ") + noLinkMade(n));
        return;  // whether it answers is for a send to find out: it may be switched off now
    }
    if (QFileInfo(target).absolutePath() == QFileInfo(roots.links).absoluteFilePath())
        throw EPortLinkError(
            QStringLiteral("\"%1\" is a port link itself; give the device it leads to, %2")
                .arg(target, noLinkMade(n)));
    const DeviceCheck check = examineDevice(target, roots.sysfs);
    switch (check.verdict) {
        case DeviceCheck::Serial:
            if (!serialDevicePresent(target, roots.sysfs))
                throw EPortLinkError(QStringLiteral("\"%1\" has no hardware behind it, %2")
                                         .arg(target, noLinkMade(n)));
            break;
        case DeviceCheck::Missing:
            throw EPortLinkError(
                QStringLiteral("\"%1\" does not exist, %2").arg(target, noLinkMade(n)));
        case DeviceCheck::NotSerial:
            throw EPortLinkError(QStringLiteral("\"%1\" is not a serial device (it is %2), %3")
                                     .arg(target, check.what, noLinkMade(n)));
        case DeviceCheck::Unexaminable:
            throw EPortLinkError(QStringLiteral("\"%1\" cannot be examined (%2), %3")
                                     .arg(target, qt_error_string(check.error), noLinkMade(n)));
    }
}

}  // namespace

QString linkPort(quint16 n, const QString& device, bool replace, const PortRoots& roots) {
    const QString target =
        looksLikeNetworkPort(device) ? device : QFileInfo(device).absoluteFilePath();
    checkLinkTarget(n, target, roots);
    const FolderLock lock(roots.links);
    const QString link = portLinkPath(n, roots);
    if (!linkThere(link)) {
        if (::symlink(native(target).constData(), native(link).constData()) != 0)
            throw EPortLinkError(
                QStringLiteral("\"%1\" cannot be written (%2)").arg(link, qt_error_string(errno)));
        return {};
    }
    const QString previous = linkTarget(link);
    if (previous == target)
        return previous;
    if (!replace)
        throw EPortLinkError(
            QStringLiteral("COM%1 already leads to \"%2\"; add --force to replace the link")
                .arg(n)
                .arg(previous));
    // The new link, made under a name of its own, takes the old one's place in one rename: the
    // port never has no link, nor a half-made one.
    const QString fresh = roots.links + QStringLiteral("/.COM%1.%2.new").arg(n).arg(::getpid());
    ::unlink(native(fresh).constData());
    if (::symlink(native(target).constData(), native(fresh).constData()) != 0 ||
        ::rename(native(fresh).constData(), native(link).constData()) != 0) {
        const int error = errno;
        ::unlink(native(fresh).constData());
        throw EPortLinkError(
            QStringLiteral("\"%1\" cannot be written (%2)").arg(link, qt_error_string(error)));
    }
    return previous;
}

QString unlinkPort(quint16 n, const PortRoots& roots) {
    const QString link = portLinkPath(n, roots);
    if (!linkThere(link))
        throw EPortLinkError(QStringLiteral("COM%1 has no link in \"%2\"").arg(n).arg(roots.links));
    const FolderLock lock(roots.links);
    const QString previous = linkTarget(link);
    if (::unlink(native(link).constData()) != 0 && errno != ENOENT)
        throw EPortLinkError(
            QStringLiteral("\"%1\" cannot be removed (%2)").arg(link, qt_error_string(errno)));
    return previous;
}

}  // namespace qev
