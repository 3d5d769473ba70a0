#pragma once
// Keeps what the window stores saved: soon after each confirmed change (so that a program killed
// outright loses at most the last moment), at the end of a session and at close. A failed save is
// shown once, however often it fails again; a close that would lose changes asks whether to try
// again or to close without saving, without holding up the window while it asks.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <exception>
#include <functional>

class QMessageBox;
class QWidget;

namespace qev {

class TFormStorage;

class SettingsKeeper : public QObject {
    Q_OBJECT
public:
    // status: where the outcome of a save is told in a line (the window's status line).
    SettingsKeeper(QWidget* window, TFormStorage* storage,
                   std::function<void(const QString&)> status);

    // How long after a confirmed change it is saved.
    static constexpr int kSaveDelayMs = 200;

    // A confirmed change of what the window stores: saved shortly.
    void changed();
    // Saves at once; false when that failed (the failure shown, once per distinct text).
    bool saveNow();
    // Whether changes have been made that no save has kept yet.
    bool unsaved() const { return unsaved_; }

    // For the window's close: true when it may close now. When changes cannot be saved and ask is
    // set, the user is asked instead, and the window is closed again once they have chosen to
    // close without saving (or a try again succeeded); without ask (a session's end, a stop
    // signal) it closes all the same.
    bool mayClose(bool ask);

private:
    void askHowToClose(const QString& failure);
    void report(std::exception_ptr error);

    QWidget* window_;
    TFormStorage* storage_;
    std::function<void(const QString&)> status_;
    QTimer timer_;
    bool unsaved_ = false;
    bool discard_ = false;
    QString lastShown_;
    QPointer<QMessageBox> question_;
};

}  // namespace qev
