#pragma once
// Driving modal dialogs the Qt way: a queued action finds QApplication::activeModalWidget()
// from inside the dialog's own event loop.

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace qev::test {

// Runs action once on the next modal widget that is a T, then stops looking (after timeoutMs
// at the latest). Call it before the step that opens the dialog.
template <typename T = QWidget>
void onNextModal(std::function<void(T*)> action, int timeoutMs = 5000) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action, deadline] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Runs action once on every modal T that opens while it lives.
template <typename T>
class EveryModal {
public:
    explicit EveryModal(std::function<void(T*)> action) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this, action] {
            auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!w || !w->isVisible() || w->property("qevSeen").toBool())
                return;
            w->setProperty("qevSeen", true);
            ++seen_;
            action(w);
        });
        timer_.start();
    }
    int seen() const { return seen_; }

private:
    QTimer timer_;
    int seen_ = 0;
};

// Records and closes (with OK) every message box that opens while it lives.
class MessageBoxCatcher {
public:
    struct Box {
        QString title, text;
        QMessageBox::Icon icon;
    };

    MessageBoxCatcher() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box->property("qevCaught").toBool())
                return;
            box->setProperty("qevCaught", true);
            boxes_.append({box->windowTitle(), box->text(), box->icon()});
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        timer_.start();
    }

    const QList<Box>& boxes() const { return boxes_; }
    QStringList texts() const {
        QStringList t;
        for (const Box& b : boxes_)
            t << b.text;
        return t;
    }

private:
    QTimer timer_;
    QList<Box> boxes_;
};

// Lets queued work (a box posted from another thread, a deferred close) run for a while.
inline void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace qev::test
