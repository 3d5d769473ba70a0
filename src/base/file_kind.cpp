#include "base/file_kind.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace qev {

namespace {

#ifdef Q_OS_UNIX
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
#endif

}  // namespace

QString fileKindText(const QString& path) {
    const QFileInfo info(path);
#ifdef Q_OS_UNIX
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
#else
    if (!info.exists()) {
        return info.isSymLink() ? QStringLiteral("a link to \"%1\", which does not exist")
                                      .arg(info.symLinkTarget())
                                : QStringLiteral("nothing");
    }
    const QString kind = info.isDir()    ? QStringLiteral("folder")
                         : info.isFile() ? QStringLiteral("regular file")
                                         : QStringLiteral("device");
    if (info.isSymLink())
        return QStringLiteral("a link to the %1 \"%2\"").arg(kind, info.canonicalFilePath());
    return QStringLiteral("a ") + kind;
#endif
}

}  // namespace qev
