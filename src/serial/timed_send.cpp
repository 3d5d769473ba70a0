#include "serial/timed_send.h"

#include "serial/com_port.h"
#include "serial/serial_errors.h"
#include "serial/transmission.h"

#include <chrono>
#include <thread>

namespace qev {

namespace {

using std::chrono::nanoseconds;

// The port's writer is given the message at least this long before its instant, so that it is
// waiting for the instant (not being woken for it) when the instant comes.
constexpr qint64 kLeadNs = 20'000'000;
// How long after the instant the sender looks again: the writer has sent by then.
constexpr qint64 kAfterNs = 2'000'000;
constexpr int kMaxReplans = 5;

void openPort(TComPort& port) {
    try {
        port.setOpen(true);
    } catch (const EPortPromptCancelled&) {
        port.setOpen(false);
        throw EAbort();
    }
}

}  // namespace

SyncPlan transmitOnSecond(TComPort& port, int itemIndex, qint64 messageBytes,
                          const std::function<QByteArray(qint64 second)>& build,
                          const IdleFor& idle, const std::function<void()>& processEvents) {
    port.setComNumber(quint16(itemIndex + 1));
    openPort(port);
    const qint64 wireNs = wireTimeNs(messageBytes, port.Baud());
    SyncPlan plan;
    try {
        for (int attempt = 0;; ++attempt) {
            plan = planSync(realtimeNowNs(), wireNs, kLeadNs);
            // The writer holds the message and puts it on the line at the instant. This thread
            // stays asleep (or in its event loop) meanwhile: a thread of this process woken near
            // the instant was seen to keep the writer off its processor for milliseconds.
            const quint32 sentBefore = port.TimedSent();
            port.PutStringAt(build(plan.second), plan.sendAtNs);
            const qint64 untilAfter = plan.sendAtNs + kAfterNs - realtimeNowNs();
            if (untilAfter > 0)
                idle(nanoseconds(untilAfter));
            // A send started during the wait (through idle's event loop) goes out at once and
            // closes the port behind it, dropping the held message unless its instant came
            // first: then the port is opened again and the next second sent.
            if (port.Open() || port.TimedSent() != sentBefore || attempt == kMaxReplans)
                break;
            openPort(port);
        }
    } catch (...) {
        port.setOpen(false);  // no port stays open after a failed send
        throw;
    }
    // The rest of the send cycle: the port is open on its number (or, when a send during the
    // wait closed it after the message went, opened again), so nothing more is queued, and the
    // half-second wait covers a writer that is running late. The drain loop pauses between
    // passes: spinning, it would keep the writer waiting for a scheduler tick whenever the
    // other processors are busy.
    transmit(port, int(port.ComNumber()) - 1, QByteArray(), [&processEvents] {
        processEvents();
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    });
    return plan;
}

}  // namespace qev
