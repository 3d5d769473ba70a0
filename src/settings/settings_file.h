#pragma once
// Reaching the settings file without ever waiting on it. Only a regular file of bounded size is
// opened and read: a named pipe, a device, a socket or a folder in its place (or a link to one,
// or a link to nothing) is refused by its metadata before anything is opened, and what was opened
// is checked again before the first read, since the name may have been changed in between.

#include <QByteArray>
#include <QString>

namespace qev {

struct SettingsFile {
    enum Status {
        Missing,     // nothing there: a first run
        Regular,     // a regular file within the size limit; bytes holds it after a read
        NotRegular,  // kind says what is there instead
        TooLarge,    // size holds its size
        Failed,      // it could not be looked at, opened or read; error holds the reason
    };
    Status status = Missing;
    QByteArray bytes;
    QString kind;
    qint64 size = 0;
    int error = 0;
};

// What is at path, by its metadata alone; nothing is opened.
SettingsFile inspectSettingsFile(const QString& path, qint64 maxBytes);

// The whole file, read without blocking, when it is a regular file of at most maxBytes.
SettingsFile readSettingsFile(const QString& path, qint64 maxBytes);

// True when there is nothing at path or a regular file that is not a link: what a lock file of
// ours can be. Anything else is never opened (reading a pipe there would wait forever).
bool isNothingOrPlainFile(const QString& path);

}  // namespace qev
