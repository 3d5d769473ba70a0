// The loops of the worker's four threads.

#include "serial/dispatcher.h"

#include "serial/sync_timing.h"

#include <chrono>

namespace qev {

namespace {

constexpr int kReadBlock = 256;

// A failure the thread ends on quietly: the handle is gone, or the device has gone away
// (which the writer reports, once, when it next has something to write).
bool quietEnd(int err) {
    return err == syserr::kInvalidHandle || err == syserr::kDeviceGone;
}

}  // namespace

TDispatcherThread::~TDispatcherThread() {
    join();
}

void TDispatcherThread::start() {
    thread_ = std::thread([this] { run(); });
}

void TDispatcherThread::join() {
    if (thread_.joinable())
        thread_.join();
}

void TDispatcherThread::run() {
    owner_.threadStarted(*this);
    int result = 0;
    try {
        result = Execute();
    } catch (const std::bad_alloc&) {
        result = -8;
    }
    owner_.threadEnded(*this, result);
}

int TReadThread::Execute() {
    TBaseDispatcher& d = owner_;
    char block[kReadBlock];
    while (!d.KillThreads()) {
        const WaitResult w = d.device().waitReadable(50, {&d.SerialEvent, &d.KillEvent});
        if (d.KillThreads())
            break;
        if (w.kind != WaitResult::Ready && w.kind != WaitResult::HangUp)
            continue;
        for (;;) {
            qint64 got = 0;
            const int err = d.device().read(block, kReadBlock, got);
            if (err != 0) {
                if (quietEnd(err))
                    return 0;
                d.requestKill();
                return serial_error::kDeviceReadError;
            }
            if (got == 0)
                break;
            d.queueReceived(block, got);
        }
        if (w.kind == WaitResult::HangUp)
            return 0;
    }
    return 0;
}

int TDispThread::Execute() {
    TBaseDispatcher& d = owner_;
    while (!d.KillThreads()) {
        Event::waitAny({&d.QueueEvent, &d.ComEvent, &d.KillEvent}, 50);
        d.dispatchReceived();
    }
    return 0;
}

int TStatusThread::Execute() {
    TBaseDispatcher& d = owner_;
    bool lineGone = false;
    while (!d.KillThreads()) {
        if (lineGone) {
            // A hung-up line stays readable for poll: wait on the close alone, not spinning.
            Event::waitAny({&d.ReadyEvent, &d.KillEvent}, 100);
            continue;
        }
        const WaitResult w = d.device().waitLineEvent(100, {&d.ReadyEvent, &d.KillEvent});
        // Line events are awaited so that a hang-up is seen, but nothing consumes them.
        lineGone = w.kind == WaitResult::HangUp;
    }
    return 0;
}

int TWriteThread::Execute() {
    TBaseDispatcher& d = owner_;
    while (!d.KillThreads()) {
        const int fired = Event::waitAny({&d.OutputEvent, &d.OutFlushEvent, &d.KillEvent}, 100);
        if (fired == 1) {
            d.GeneralEvent.set();
            continue;
        }
        if (fired != 0)
            continue;
        for (;;) {
            const TBaseDispatcher::Output block = d.takeOutput();
            if (block.bytes.isEmpty())
                break;
            Outcome outcome = Outcome::Done;
            if (block.releaseAtNs != 0)
                outcome = holdUntil(block.releaseAtNs);
            if (outcome == Outcome::Done)
                outcome = writeBlock(block.bytes);
            if (outcome == Outcome::Failed) {
                d.requestKill();
                return serial_error::kDeviceWriteError;
            }
            if (outcome == Outcome::Stop)
                return 0;
            if (outcome == Outcome::Flushed)
                break;
        }
    }
    return 0;
}

// Spins, looking for a flush or the end between reads of the clock: a sleep, or a wake-up on
// a processor that has gone idle, can end milliseconds late, and these bytes are timed to the
// millisecond. The sender hands them over only a few milliseconds ahead; a hold is cut short
// after kMaxHold all the same, in case the clock was set back meanwhile.
TWriteThread::Outcome TWriteThread::holdUntil(qint64 releaseAtNs) {
    constexpr auto kMaxHold = std::chrono::milliseconds(50);
    TBaseDispatcher& d = owner_;
    const auto giveUp = std::chrono::steady_clock::now() + kMaxHold;
    while (realtimeNowNs() < releaseAtNs && std::chrono::steady_clock::now() < giveUp) {
        const int fired = Event::waitAny({&d.OutFlushEvent, &d.KillEvent}, 0);
        if (fired == 0) {
            d.GeneralEvent.set();
            return Outcome::Flushed;
        }
        if (fired == 1 || d.KillThreads())
            return Outcome::Stop;
    }
    return Outcome::Done;
}

TWriteThread::Outcome TWriteThread::writeBlock(const QByteArray& block) {
    TBaseDispatcher& d = owner_;
    qint64 done = 0;
    while (done < block.size()) {
        qint64 written = 0;
        const int err = d.device().write(block.constData() + done, block.size() - done, written);
        if (err != 0)
            return err == syserr::kInvalidHandle ? Outcome::Stop : Outcome::Failed;
        done += written;
        if (done == block.size())
            break;
        // Pending: wait for room in slices, watching for a flush and for the end.
        for (;;) {
            const WaitResult w = d.device().waitWritable(100, {&d.OutFlushEvent, &d.KillEvent});
            if (w.kind == WaitResult::Woken) {
                if (w.event == 0) {
                    d.GeneralEvent.set();
                    return Outcome::Flushed;
                }
                return Outcome::Stop;
            }
            if (d.KillThreads())
                return Outcome::Stop;
            if (w.kind != WaitResult::TimedOut)
                break;  // room, or a hang-up that the next write will report
        }
    }
    return Outcome::Done;
}

}  // namespace qev
