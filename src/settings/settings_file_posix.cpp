#include "settings/settings_file.h"

#include "base/file_kind.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qev {

namespace {

SettingsFile failed(int error) {
    SettingsFile result;
    result.status = SettingsFile::Failed;
    result.error = error;
    return result;
}

SettingsFile judge(const QString& path, const struct stat& st, qint64 maxBytes) {
    SettingsFile result;
    result.size = st.st_size;
    if (!S_ISREG(st.st_mode)) {
        result.status = SettingsFile::NotRegular;
        result.kind = fileKindText(path);
    } else {
        result.status = st.st_size > maxBytes ? SettingsFile::TooLarge : SettingsFile::Regular;
    }
    return result;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

SettingsFile inspectSettingsFile(const QString& path, qint64 maxBytes) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0)
        return judge(path, st, maxBytes);
    const int error = errno;
    struct stat own {};
    // A link to nothing is a mistake to show, not a first run: a save would create a file
    // wherever the link points.
    if (error == ENOENT && ::lstat(native.constData(), &own) == 0 && S_ISLNK(own.st_mode)) {
        SettingsFile result;
        result.status = SettingsFile::NotRegular;
        result.kind = fileKindText(path);
        return result;
    }
    if (error == ENOENT || error == ENOTDIR)
        return {};
    return failed(error);
}

SettingsFile readSettingsFile(const QString& path, qint64 maxBytes) {
    SettingsFile result = inspectSettingsFile(path, maxBytes);
    if (result.status != SettingsFile::Regular)
        return result;
    // Non-blocking: should a pipe have taken the name since the look, the open does not wait.
    const Descriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR ? SettingsFile{} : failed(error);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return failed(errno);
    result = judge(path, st, maxBytes);
    if (result.status != SettingsFile::Regular)
        return result;
    // Bounded also when the file grows while it is read.
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(errno);
        if (n == 0)
            break;
        bytes.append(chunk, qsizetype(n));
        if (bytes.size() > maxBytes) {
            result.status = SettingsFile::TooLarge;
            result.size = bytes.size();
            return result;
        }
    }
    result.size = bytes.size();
    result.bytes = std::move(bytes);
    return result;
}

bool isNothingOrPlainFile(const QString& path) {
    struct stat own {};
    if (::lstat(QFile::encodeName(path).constData(), &own) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    return S_ISREG(own.st_mode);
}

}  // namespace qev
