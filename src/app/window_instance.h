#pragma once
// One window per user: a second start brings the first window to the front and ends, so that
// two windows never save over each other's edits. And the window's end by a signal (a logout, a
// shutdown, Ctrl+C in its terminal) is a close like any other, which saves.

#include <QObject>
#include <QString>

#include <memory>

namespace qev {

// Held by the running window for its whole life; the system lets go of it when the process ends,
// however it ends, so no stale lock is ever left.
class WindowLock {
public:
    // Tries to take the lock beside the settings.
    WindowLock();
    ~WindowLock();
    WindowLock(const WindowLock&) = delete;
    WindowLock& operator=(const WindowLock&) = delete;

    // Taken, or no lock could be made at all (a folder that cannot be written): the window opens.
    bool held() const { return held_; }
    // The process that holds it, when another does; 0 when it cannot be told.
    qint64 holder() const { return holder_; }

    static QString path();

private:
    bool held_ = false;
    qint64 holder_ = 0;
    qintptr handle_ = -1;
};

// Asks the window of process pid to come to the front; false when it could not be asked.
bool askWindowToFront(qint64 pid);

// Stop signals and a second start's request, turned into calls on the window's thread. Installed
// before the lock is taken (so that a request never finds the window unable to hear it) and
// before the window exists; what arrives meanwhile is kept until the watcher is made.
void installWindowSignals();

class WindowSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit WindowSignalWatcher(QObject* parent = nullptr);
    ~WindowSignalWatcher() override;

signals:
    void stopRequested();
    void frontRequested();

private:
    struct Private;
    std::unique_ptr<Private> d_;
};

}  // namespace qev
