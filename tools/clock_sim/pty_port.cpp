#include "pty_port.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace qev::clocksim {
namespace {

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(QStringLiteral("%1: %2")
                                 .arg(what, QString::fromLocal8Bit(std::strerror(errno)))
                                 .toStdString());
}

}  // namespace

PtyPort::PtyPort() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        fail(QStringLiteral("Cannot open a pseudo-terminal"));
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        fail(QStringLiteral("Cannot unlock the pseudo-terminal"));
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        fail(QStringLiteral("Cannot name the pseudo-terminal"));
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeeper_ < 0) {
        ::close(master_);
        fail(QStringLiteral("Cannot open %1").arg(slavePath_));
    }
    termios tio{};
    if (tcgetattr(slaveKeeper_, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetspeed(&tio, B4800);
        tcsetattr(slaveKeeper_, TCSANOW, &tio);
    }
}

PtyPort::~PtyPort() {
    if (!link_.isEmpty())
        QFile::remove(link_);
    if (slaveKeeper_ >= 0)
        ::close(slaveKeeper_);
    if (master_ >= 0)
        ::close(master_);
}

void PtyPort::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPort::linkAs(const QString& folder, int comNumber) {
    if (!QDir().mkpath(folder))
        throw std::runtime_error(
            QStringLiteral("Cannot create the ports folder %1").arg(folder).toStdString());
    const QString path = QDir(folder).filePath(QStringLiteral("COM%1").arg(comNumber));
    const QFileInfo existing(path);
    if (existing.exists() || existing.isSymLink()) {
        if (!existing.isSymLink() ||
            !existing.symLinkTarget().startsWith(QLatin1String("/dev/pts/")))
            throw std::runtime_error(
                QStringLiteral("%1 already exists and is not a simulator link; move it away or "
                               "choose another port number with --com")
                    .arg(path)
                    .toStdString());
        QFile::remove(path);
    }
    if (::symlink(slavePath_.toLocal8Bit().constData(), path.toLocal8Bit().constData()) != 0)
        fail(QStringLiteral("Cannot create the link %1").arg(path));
    link_ = path;
}

QByteArray PtyPort::read(int timeoutMs) {
    pollfd p{master_, POLLIN, 0};
    // A signal ends the wait early (n < 0 with EINTR), so the caller can look at its stop flag.
    const int n = ::poll(&p, 1, timeoutMs);
    if (n <= 0 || !(p.revents & POLLIN))
        return {};
    char buf[4096];
    const ssize_t got = ::read(master_, buf, sizeof buf);
    return got > 0 ? QByteArray(buf, int(got)) : QByteArray();
}

}  // namespace qev::clocksim
