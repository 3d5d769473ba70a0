#pragma once
// For the tests of paths that must never wait on a file another process controls: a watchdog
// that turns a hang into a failure naming the step, a named pipe that tells whether anyone
// opened it, and a record of a folder to show that nothing in it changed.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace qev::test {

// Ends the test program with a message when it lives longer than ms: a step that hangs fails
// within the test's own bound instead of running until CI gives up.
class Watchdog {
public:
    Watchdog(int ms, std::string step)
        : thread_([this, ms, step = std::move(step)] {
              std::unique_lock lock(mutex_);
              if (!done_cv_.wait_for(lock, std::chrono::milliseconds(ms),
                                     [this] { return done_; })) {
                  std::fprintf(stderr, "FAILED: %s did not finish within %d ms\n", step.c_str(),
                               ms);
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_;
};

// A named pipe with a writer waiting in its open: any open for reading (a read-write open
// included) releases that writer, which is how a test sees that nothing opened the pipe. The
// pipe has no writer for anyone who opens it: a blocking read-only open would wait for ever.
class WatchedFifo {
public:
    explicit WatchedFifo(QString path) : path_(std::move(path)) {
        struct stat st {};
        created_ = ::mkfifo(QFile::encodeName(path_).constData(), 0600) == 0 &&
                   ::lstat(QFile::encodeName(path_).constData(), &st) == 0;
        inode_ = st.st_ino;
        if (created_) {
            writer_ = std::thread([this] {
                const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CLOEXEC);
                if (!releasing_)
                    opened_ = true;
                if (fd >= 0)
                    ::close(fd);
            });
        }
    }
    ~WatchedFifo() {
        if (!created_)
            return;
        if (!intact()) {
            // The name was taken from the pipe: the writer waits where no one can reach it.
            std::fprintf(stderr, "FAILED: %s is no longer the pipe\n", qPrintable(path_));
            std::_Exit(3);
        }
        // Release the waiting writer ourselves.
        releasing_ = true;
        const int fd =
            ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writer_.join();
        ::close(fd);
    }
    WatchedFifo(const WatchedFifo&) = delete;
    WatchedFifo& operator=(const WatchedFifo&) = delete;

    bool created() const { return created_; }
    // Whether anyone has opened the pipe for reading so far.
    bool opened() const { return opened_; }
    // Still a named pipe at the same place.
    bool intact() const {
        struct stat st {};
        return ::lstat(QFile::encodeName(path_).constData(), &st) == 0 && S_ISFIFO(st.st_mode) &&
               st.st_ino == inode_;
    }

private:
    QString path_;
    bool created_ = false;
    ino_t inode_ = 0;
    std::atomic<bool> opened_{false};
    std::atomic<bool> releasing_{false};
    std::thread writer_;
};

// Every entry of a folder with its kind, size, modification time and link target: equal
// records mean nothing was added, removed, replaced or written.
inline QStringList folderRecord(const QString& folder) {
    QStringList record;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString path = folder + u'/' + name;
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        record << QStringLiteral("%1 mode=%2 size=%3 mtime=%4.%5 -> %6")
                      .arg(name)
                      .arg(st.st_mode, 0, 8)
                      .arg(st.st_size)
                      .arg(st.st_mtim.tv_sec)
                      .arg(st.st_mtim.tv_nsec)
                      .arg(QFile::symLinkTarget(path));
    }
    return record;
}

}  // namespace qev::test
