#include "serial/transmitter.h"

#include "serial/com_port.h"
#include "serial/serial_errors.h"
#include "serial/transmission.h"

#include <QScopeGuard>

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace qev {

namespace {

constexpr qint64 kMs = 1'000'000;
// The writer is given the message at least this long before its instant, so that it is waiting
// for the instant (not being woken for it) when the instant comes.
constexpr qint64 kLeadNs = 20 * kMs;
// The port closes this long after the instant, as a send cycle closes it half a second after
// its message was taken: time for a message queued ahead of it on the same port, too.
constexpr qint64 kCloseAfterNs = 500 * kMs;
// A writer that has not put the message on the line this long after its instant never will.
constexpr qint64 kReleaseGraceNs = 1000 * kMs;
// A message has left once its time on the wire is over and the driver's queue is empty; this
// much more lets a UART's own buffer empty too.
constexpr qint64 kLeftMarginNs = 5 * kMs;
// A cancel request this close to the instant lets the message go whole instead.
constexpr qint64 kCancelCutoffNs = 10 * kMs;
// A timer that finds a send cycle running looks again after this many milliseconds.
constexpr int kBusyRetryMs = 10;

int msUntil(qint64 atNs) {
    const qint64 ms = (atNs - realtimeNowNs() + kMs - 1) / kMs;
    return int(std::clamp<qint64>(ms, 0, INT_MAX));
}

void sleepNs(qint64 ns) {
    if (ns > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
}

}  // namespace

Transmitter::Transmitter(TComPort& port, QObject* parent) : QObject(parent), port_(port) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Transmitter::onTimeout);
}

Transmitter::~Transmitter() {
    try {
        finishTimedAndReport();
    } catch (...) {
        // Cancelled: the message was dropped before its instant, as asked.
    }
}

void Transmitter::setProcessEvents(std::function<void()> processEvents) {
    processEvents_ = std::move(processEvents);
}

void Transmitter::setErrorHandler(std::function<void(std::exception_ptr)> handler) {
    errorHandler_ = std::move(handler);
}

void Transmitter::setCancelled(std::function<bool()> cancelled) {
    cancelled_ = std::move(cancelled);
    port_.setOpenCancelled(cancelled_);
}

void Transmitter::send(int itemIndex, const QByteArray& message) {
    // The port is about to move (a prompt's answer may move it too): the waiting message goes
    // first, on its own port.
    if (timed_ && timed_->port != quint16(itemIndex + 1))
        finishTimedAndReport();
    ++cycles_;
    const auto done = qScopeGuard([this] { --cycles_; });
    transmit(port_, itemIndex, message,
             CycleHooks{processEvents_, [this] { return timed_.has_value(); }, cancelled_});
}

SyncPlan Transmitter::sendOnSecond(int itemIndex, qint64 messageBytes,
                                   const BuildForSecond& build) {
    finishTimedAndReport();
    const qint64 wireNs = wireTimeNs(messageBytes, port_.Baud());
    // Built before the port is opened: what it shows (the window's fields) is right even when
    // the open fails.
    SyncPlan plan = planSync(realtimeNowNs(), wireNs, kLeadNs);
    QByteArray message = build(plan.second);
    openForTimed(itemIndex, [&] {
        // The open took the time the plan left (a prompt, above all): the next second, then.
        if (realtimeNowNs() + kLeadNs > plan.sendAtNs) {
            plan = planSync(realtimeNowNs(), wireNs, kLeadNs);
            message = build(plan.second);
        }
        holdForInstant(plan, message);
    });
    return plan;
}

void Transmitter::sendPlanned(int itemIndex, const SyncPlan& plan, const QByteArray& message) {
    finishTimedAndReport();
    openForTimed(itemIndex, [&] {
        if (realtimeNowNs() + kLeadNs / 2 > plan.sendAtNs)
            throw EMessageNotSent::notReleased(port_.DevicePath());
        holdForInstant(plan, message);
    });
}

void Transmitter::openForTimed(int itemIndex, const std::function<void()>& hold) {
    ++cycles_;  // a prompt's event loop may run the timer meanwhile
    const auto done = qScopeGuard([this] { --cycles_; });
    try {
        port_.setComNumber(quint16(itemIndex + 1));
        port_.setOpen(true);
        if (cancelled())
            throw EAbort();
        hold();
    } catch (const EPortPromptCancelled&) {
        port_.setOpen(false);
        throw EAbort();
    } catch (...) {
        port_.setOpen(false);  // no port stays open after a failed send
        throw;
    }
}

qint64 Transmitter::leadNs() {
    return kLeadNs;
}

void Transmitter::holdForInstant(const SyncPlan& plan, const QByteArray& message) {
    const quint32 sentBefore = port_.TimedSent();
    port_.PutStringAt(message, plan.sendAtNs);
    timed_ = Timed{port_.ComNumber(), plan, wireTimeNs(message.size(), port_.Baud()),
                   message.size(), sentBefore};
    // One wake-up, long after the instant: a thread of this process woken near it was seen to
    // keep the writer off its processor for milliseconds.
    timer_.start(msUntil(plan.sendAtNs + kCloseAfterNs));
}

bool Transmitter::released() const {
    return port_.TimedSent() != timed_->sentBefore;
}

void Transmitter::onTimeout() {
    if (!timed_)
        return;
    if (cycles_ > 0) {
        timer_.start(kBusyRetryMs);  // the send cycle that ran this timer still uses the port
        return;
    }
    if (!settled(realtimeNowNs(), false)) {
        timer_.start(1);  // a writer running late
        return;
    }
    try {
        closeTimed();
    } catch (...) {
        report(std::current_exception());
    }
}

bool Transmitter::settled(qint64 now, bool asSoonAsLeft) {
    if (!port_.CanWrite())
        return true;  // closed, or its writer failed: nothing more will leave
    const Timed& t = *timed_;
    const qint64 closeAt = t.plan.sendAtNs + kCloseAfterNs;
    if (released()) {
        return now >= closeAt ||
               (asSoonAsLeft && now >= t.plan.sendAtNs + t.wireNs + kLeftMarginNs &&
                port_.UnsentBytes() == 0);
    }
    // Not on the line yet: due but stuck on a line that takes nothing, or never released.
    return (now >= closeAt && port_.UnsentBytes() > 0) || now >= t.plan.sendAtNs + kReleaseGraceNs;
}

void Transmitter::closeTimed() {
    const bool sent = released();
    const bool writerFailed = port_.Open() && !port_.CanWrite();
    const qint64 unsent = port_.UnsentBytes();
    const QString device = port_.DevicePath();
    const qint64 size = timed_->bytes;
    const qint64 second = timed_->plan.second;
    timed_.reset();
    timer_.stop();
    port_.setOpen(false);
    if (writerFailed)  // the writer has told the user why
        throw EReported(QStringLiteral("the write to %1 failed").arg(deviceName(device)));
    if (unsent > 0)
        throw EMessageNotSent::stalled(device, size, unsent);
    if (!sent)
        throw EMessageNotSent::notReleased(device);
    emit timedSent(second);
}

// Sleeps past the instant. A cancel request well before it drops the message, which then never
// reaches the line; later it goes whole.
void Transmitter::waitForInstant() {
    const qint64 instant = timed_->plan.sendAtNs;
    for (;;) {
        const qint64 left = instant - realtimeNowNs();
        if (left <= 3 * kCancelCutoffNs / 2)
            break;
        if (cancelled()) {
            timed_.reset();
            port_.setOpen(false);
            throw EAbort();
        }
        sleepNs(std::min(left - kCancelCutoffNs, kCancelCutoffNs));
    }
    // One sleep across the instant, for the reason the timer wakes up late.
    sleepNs(instant + 2 * kMs - realtimeNowNs());
}

void Transmitter::finishTimed() {
    if (!timed_)
        return;
    timer_.stop();
    try {
        waitForInstant();
        while (!settled(realtimeNowNs(), true))
            sleepNs(200'000);
        closeTimed();
    } catch (...) {
        if (timed_) {
            timed_.reset();
            port_.setOpen(false);
        }
        throw;
    }
}

void Transmitter::finishTimedAndReport() {
    try {
        finishTimed();
    } catch (const EAbort&) {
        throw;
    } catch (...) {
        report(std::current_exception());
    }
}

void Transmitter::report(std::exception_ptr error) const {
    if (errorHandler_)
        errorHandler_(error);
}

}  // namespace qev
