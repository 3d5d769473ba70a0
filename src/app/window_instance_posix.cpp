// The lock is a flock on a file beside the settings, which holds the holder's process number;
// requests and stop signals reach the window through a pipe that a socket notifier watches.

#include "app/window_instance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace qev {

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signal) {
    const int saved = errno;
    const char what = signal == SIGUSR1 ? 'F' : 'S';
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &what, 1);
    errno = saved;
}

}  // namespace

WindowLock::WindowLock() {
    const QString file = path();
    QDir().mkpath(QFileInfo(file).absolutePath());
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        held_ = true;  // no lock can be had here: a window is better than none
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char text[32] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        holder_ = n > 0 ? QByteArray(text, int(n)).trimmed().toLongLong() : 0;
        ::close(fd);
        return;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0) [[maybe_unused]]
        const ssize_t n = ::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
    handle_ = fd;
    held_ = true;
}

WindowLock::~WindowLock() {
    if (handle_ >= 0)
        ::close(int(handle_));  // lets go of the lock
}

bool askWindowToFront(qint64 pid) {
    // The holder of the lock is a window of this program: its handler is in place before it
    // takes the lock, so the signal never ends it.
    return pid > 0 && ::kill(pid_t(pid), SIGUSR1) == 0;
}

void installWindowSignals() {
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
        struct sigaction previous {};
        ::sigaction(signal, &action, &previous);
        // An ignored signal stays ignored (nohup ignores SIGHUP for the program it starts).
        if (previous.sa_handler == SIG_IGN && signal != SIGUSR1)
            ::sigaction(signal, &previous, nullptr);
    }
}

struct WindowSignalWatcher::Private {
    std::unique_ptr<QSocketNotifier> notifier;
};

WindowSignalWatcher::WindowSignalWatcher(QObject* parent)
    : QObject(parent), d_(std::make_unique<Private>()) {
    if (signalPipe[0] < 0)
        return;
    d_->notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    const auto drain = [this] {
        char what[16];
        ssize_t n;
        while ((n = ::read(signalPipe[0], what, sizeof what)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (what[i] == 'F')
                    emit frontRequested();
                else
                    emit stopRequested();
            }
        }
    };
    connect(d_->notifier.get(), &QSocketNotifier::activated, this, drain);
    // What arrived before the watcher existed.
    QMetaObject::invokeMethod(this, drain, Qt::QueuedConnection);
}

WindowSignalWatcher::~WindowSignalWatcher() = default;

}  // namespace qev
