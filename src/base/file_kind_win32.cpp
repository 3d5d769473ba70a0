// Windows has no pipes or devices in its file system that a user would point QEV at: a file, a
// folder or a link to one.

#include "base/file_kind.h"

#include <QFileInfo>

namespace qev {

QString fileKindText(const QString& path) {
    const QFileInfo info(path);
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
}

}  // namespace qev
