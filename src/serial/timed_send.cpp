#include "serial/timed_send.h"

#include "serial/com_port.h"
#include "serial/serial_errors.h"
#include "serial/transmission.h"

#include <chrono>
#include <thread>

namespace qev {

namespace {

using std::chrono::nanoseconds;

// The last stretch of a wait is spun: long enough to cover a sleep's usual overshoot.
constexpr qint64 kSpinNs = 3'000'000;
// The message goes to the port's writer this long before its instant, and the writer, already
// running then, puts it on the line at the instant: waking a thread at the instant itself can
// cost milliseconds when its processor has gone idle.
constexpr qint64 kHandOverNs = 4'000'000;
// Time left between planning and the send instant, so the plan is never already past.
constexpr qint64 kLeadNs = 1'000'000;
// A send this late would show the device a second that started well before it arrived.
constexpr qint64 kLateNs = 5'000'000;
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

void waitUntilNs(qint64 targetNs, const IdleFor& idle) {
    for (;;) {
        const qint64 remaining = targetNs - realtimeNowNs();
        if (remaining <= 0)
            return;
        if (remaining > kSpinNs)
            idle(nanoseconds(remaining - kSpinNs));
    }
}

SyncPlan transmitOnSecond(TComPort& port, int itemIndex, qint64 messageBytes,
                          const std::function<QByteArray(qint64 second)>& build,
                          const IdleFor& idle, const std::function<void()>& processEvents) {
    port.setComNumber(quint16(itemIndex + 1));
    openPort(port);
    const qint64 wireNs = wireTimeNs(messageBytes, port.Baud());
    SyncPlan plan;
    QByteArray message;
    try {
        for (int attempt = 0;; ++attempt) {
            plan = planSync(realtimeNowNs(), wireNs, kLeadNs);
            message = build(plan.second);
            waitUntilNs(plan.sendAtNs - kHandOverNs, idle);
            if (!port.Open()) {
                openPort(port);  // another send closed it during the wait
                continue;
            }
            if (realtimeNowNs() - plan.sendAtNs > kLateNs && attempt < kMaxReplans)
                continue;
            break;
        }
    } catch (...) {
        port.setOpen(false);  // no port stays open after a failed send
        throw;
    }
    // The port is open on its number now, so the cycle's own assignment and open do nothing
    // (a prompt's choice included) and the bytes are queued at once. The drain loop pauses
    // between passes: spinning, it would keep the writer thread waiting for a scheduler tick
    // (several milliseconds) whenever the other processors are busy.
    transmit(
        port, int(port.ComNumber()) - 1, message,
        [&processEvents] {
            processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        },
        plan.sendAtNs);
    return plan;
}

}  // namespace qev
