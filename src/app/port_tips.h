#pragma once
// The "Com n" buttons tell what each port is: a tooltip, and a description for screen readers.
// They are brought up to date when the window starts, when the pointer rests on a button or the
// focus comes to one, and before each send, each time giving adapters plugged in meanwhile their
// numbers, so that what a button says is where its send goes. The looking is done on a thread of
// its own: another program may hold the ports folder's lock for seconds, and the window never
// waits for it.

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

namespace qev {

class RadioGroup;
struct PortInfo;

class PortTips : public QObject {
    Q_OBJECT
public:
    // Watches the group's buttons; port n is button n - 1. Starts a first look at once; until it
    // has ended, the tips say that QEV is looking.
    explicit PortTips(RadioGroup* group);
    ~PortTips() override;  // a look under way is stopped and waited for (at most a slice)

    // Looks again, in the background.
    void refresh();
    // Numbers adapters plugged in meanwhile, here and now, without waiting for the lock: a send
    // is about to use the numbers. A problem goes to problem(); looks again afterwards.
    void numberNow();

    static QString lookingText();

signals:
    // What numbering the ports could not do (an adapter left without a number, a ports folder
    // that cannot be written), each text once until it changes.
    void problem(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start();
    void show(const QList<PortInfo>& ports, const QString& problem);
    void tell(const QString& problem);

    RadioGroup* group_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    bool running_ = false;
    bool again_ = false;
    QString lastProblem_;
};

}  // namespace qev
