#pragma once
// Every send on one port component goes through here: send cycles that go at once, and the
// time-set message timed to end on the line as the second it carries begins. A timed message
// waits on the port's writer while the caller goes on, and a timer closes the port once it has
// left, so no event loop is nested (a modal window opened meanwhile cannot keep the port
// open). A send to another port first lets a waiting timed message go at its instant: no send
// takes another's message with it, drops it or sends it elsewhere.

#include "serial/sync_timing.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <exception>
#include <functional>
#include <optional>

namespace qev {

class TComPort;

class Transmitter : public QObject {
    Q_OBJECT
public:
    // Builds the message that carries a second (seconds since the epoch, UTC).
    using BuildForSecond = std::function<QByteArray(qint64 second)>;

    explicit Transmitter(TComPort& port, QObject* parent = nullptr);
    // A timed message still waiting goes out first; its failure is told as below.
    ~Transmitter() override;

    // Run between passes of a send cycle's drain loop (the window handles its events there).
    void setProcessEvents(std::function<void()> processEvents);
    // Told of a timed send's failure that no caller is there to receive: one found by the
    // timer, or while another send or the destructor finished it.
    void setErrorHandler(std::function<void(std::exception_ptr)> handler);
    // Asked during every wait: true ends a send at once. A message that could still be held
    // back is dropped (EAbort); one already going is let go whole and the send ends when it
    // has left.
    void setCancelled(std::function<bool()> cancelled);

    // One send cycle on port itemIndex + 1 (transmit()). A timed message waiting for another
    // port, or for a port still to be asked for, goes first; one waiting on the same port
    // keeps the port open, and this message goes out at once ahead of it.
    void send(int itemIndex, const QByteArray& message);

    // Plans the next second that a message of messageBytes can end on, builds the message for
    // it, opens port itemIndex + 1 (the prompt asks for one when that is 0) and hands the
    // message to the port's writer, which puts it on the line at its instant; returns the plan
    // at once. build is called again for a later second when the open took the time away, so
    // the last message built is the one sent. A timed message still waiting goes first. The
    // open's failures are raised, with the port closed.
    SyncPlan sendOnSecond(int itemIndex, qint64 messageBytes, const BuildForSecond& build);

    // The same with a plan and message the caller made, for several ports on one second: the
    // port is opened (when it is not yet) and the message handed to its writer as it is. A
    // plan whose instant is too near to be kept raises EMessageNotSent, with the port closed.
    void sendPlanned(int itemIndex, const SyncPlan& plan, const QByteArray& message);
    // How far ahead of its instant a timed message is handed to the writer, at least.
    static qint64 leadNs();

    bool timedWaiting() const { return timed_.has_value(); }
    // Lets the waiting timed message go at its instant and closes the port once it has left,
    // without handling events (at most about a second). Raises when it did not leave.
    void finishTimed();

signals:
    // The timed message for second (seconds since the epoch, UTC) has left whole, and its port
    // is closed.
    void timedSent(qint64 second);

private:
    struct Timed {
        quint16 port;
        SyncPlan plan;
        qint64 wireNs;
        qint64 bytes;
        quint32 sentBefore;  // the port's count of timed messages sent, before this one
    };

    // Opens port itemIndex + 1 and runs hold, which hands it a timed message; a failure of
    // either closes the port again.
    void openForTimed(int itemIndex, const std::function<void()>& hold);
    // Hands the message to the open port's writer for the plan's instant.
    void holdForInstant(const SyncPlan& plan, const QByteArray& message);
    bool released() const;
    // Whether the timed message can be concluded now: it has left (with asSoonAsLeft; else the
    // half second after its instant is over), or it is clear that it will not.
    bool settled(qint64 now, bool asSoonAsLeft);
    void onTimeout();
    void waitForInstant();
    void closeTimed();
    void finishTimedAndReport();
    void report(std::exception_ptr error) const;
    bool cancelled() const { return cancelled_ && cancelled_(); }

    TComPort& port_;
    std::function<void()> processEvents_;
    std::function<void(std::exception_ptr)> errorHandler_;
    std::function<bool()> cancelled_;
    std::optional<Timed> timed_;
    int cycles_ = 0;  // send cycles running: a timer fired from their drain loop waits for them
    QTimer timer_;
};

}  // namespace qev
