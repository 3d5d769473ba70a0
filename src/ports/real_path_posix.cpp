#include "ports/real_path.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <climits>

namespace qev {

QString realPath(const QString& path) {
    // An O_PATH descriptor follows the links without opening what they lead to; the kernel
    // tells its whole path at once.
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return {};
    char resolved[PATH_MAX];
    const ssize_t n = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(),
                                 resolved, sizeof resolved);
    ::close(fd);
    if (n > 0 && n < qsizetype(sizeof resolved) && resolved[0] == '/')
        return QFile::decodeName(QByteArray(resolved, n));
    return QFileInfo(path).canonicalFilePath();  // without /proc
}

}  // namespace qev
