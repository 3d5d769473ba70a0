#pragma once
// Who holds a serial device that refused to open, for the "Device already open" message.
// Found from the system's list of processes and their open files (Linux); nothing is opened.

#include <QList>
#include <QString>

namespace qev {

struct PortHolder {
    qint64 pid = 0;
    QString name;  // "minicom"
};

// The processes that hold a lock on the device, or, where no lock names one, those that have it
// open, as far as procRoot lets them be seen (another user's open files are not shown). Ascending
// by pid; empty on Windows.
QList<PortHolder> portHolders(const QString& devicePath,
                              const QString& procRoot = QStringLiteral("/proc"));

// What to add to "Device already open": "in use by minicom (pid 4242)", with what to do when the
// holder is ModemManager, which takes ports it takes for modems; the same advice when no holder
// can be seen but ModemManager runs. Empty when there is nothing to tell.
QString portHolderText(const QString& devicePath, const QString& procRoot = QStringLiteral("/proc"),
                       const QString& sysfsRoot = QStringLiteral("/sys"));

}  // namespace qev
