#include "base/file_kind.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace qev {

namespace {

// The noun for the kind of a stat result.
QString kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return QStringLiteral("regular file");
    if (S_ISDIR(mode))
        return QStringLiteral("folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("named pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("socket");
    if (S_ISCHR(mode))
        return QStringLiteral("character device");
    if (S_ISBLK(mode))
        return QStringLiteral("block device");
    return QStringLiteral("file of an unknown kind");
}

}  // namespace

QString fileKindText(const QString& path) {
    const QFileInfo info(path);
    const QByteArray native = QFile::encodeName(path);
    struct stat own {};
    if (::lstat(native.constData(), &own) != 0)
        return QStringLiteral("nothing");
    if (!S_ISLNK(own.st_mode))
        return QStringLiteral("a ") + kindOf(own.st_mode);
    struct stat target {};
    if (::stat(native.constData(), &target) != 0)
        return QStringLiteral("a link to \"%1\", which does not exist").arg(info.symLinkTarget());
    return QStringLiteral("a link to the %1 \"%2\"")
        .arg(kindOf(target.st_mode), info.canonicalFilePath());
}

}  // namespace qev
