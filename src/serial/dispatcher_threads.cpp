// The loops of the worker's four threads.

#include "serial/dispatcher.h"

#include "serial/sync_timing.h"

#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

namespace qev {

namespace {

constexpr int kReadBlock = 256;

// Writers that spin towards their instants at once (several ports synced together) each keep a
// processor: more of them than processors would take turns, and one would miss its instant by
// a scheduler's slice. The rest sleep to the instant instead, where sleeping is precise.
class SpinSlot {
public:
    SpinSlot() : held_(spinning().fetch_add(1) < slotCount()) {}
    ~SpinSlot() { spinning().fetch_sub(1); }
    SpinSlot(const SpinSlot&) = delete;
    SpinSlot& operator=(const SpinSlot&) = delete;
    bool held() const { return held_; }

private:
    static int slotCount() {
        static const int n = std::max(1, int(std::thread::hardware_concurrency()) - 1);
        return n;
    }
    static std::atomic<int>& spinning() {
        static std::atomic<int> count{0};
        return count;
    }
    bool held_;
};

// A failure the reader ends on quietly: the handle is gone, or the device has gone away
// (which the writer reports, once, when it next has something to write).
bool quietEnd(const std::error_code& err) {
    return err == SerialErrc::invalid_handle || err == SerialErrc::device_gone;
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
    std::error_code result;
    try {
        result = Execute();
    } catch (const std::bad_alloc&) {
        result = SerialErrc::out_of_memory;
    }
    owner_.threadEnded(*this, result);
}

std::error_code TReadThread::Execute() {
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
            const std::error_code err = d.device().read(block, kReadBlock, got);
            if (err) {
                if (quietEnd(err))
                    return {};
                d.requestKill();
                // A server that closes the connection ends the send: no message is whole then.
                return err == SerialErrc::connection_closed ? err : SerialErrc::read_failed;
            }
            if (got == 0)
                break;
            d.queueReceived(block, got);
        }
        if (w.kind == WaitResult::HangUp)
            return {};
    }
    return {};
}

std::error_code TDispThread::Execute() {
    TBaseDispatcher& d = owner_;
    while (!d.KillThreads()) {
        Event::waitAny({&d.QueueEvent, &d.ComEvent, &d.KillEvent}, 50);
        d.dispatchReceived();
    }
    return {};
}

std::error_code TStatusThread::Execute() {
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
    return {};
}

std::error_code TWriteThread::Execute() {
    TBaseDispatcher& d = owner_;
    while (!d.KillThreads()) {
        const int fired = Event::waitAny({&d.OutputEvent, &d.OutFlushEvent, &d.KillEvent}, 100);
        if (fired == 1) {
            d.GeneralEvent.set();
            continue;
        }
        if (fired != 0)
            continue;
        // The ring first: a timed block never holds up what was queued at once.
        Outcome outcome = writeBlock(d.takeOutput());
        if (outcome == Outcome::Done) {
            const TBaseDispatcher::Timed timed = d.takeTimed();
            if (!timed.bytes.isEmpty()) {
                outcome = holdUntil(timed.releaseAtNs);
                if (outcome == Outcome::Done) {
                    d.unwritten_ += timed.bytes.size();  // due from now on
                    outcome = writeBlock(timed.bytes);
                    if (outcome == Outcome::Done)
                        ++d.releasedBlocks_;
                }
            }
        }
        if (outcome == Outcome::Failed) {
            d.requestKill();
            return SerialErrc::write_failed;
        }
        if (outcome == Outcome::Stop)
            return {};
    }
    return {};
}

// Sleeps until shortly before the instant, then spins, looking for a flush, the end or other
// output between reads of the clock: bytes timed to the millisecond are written by a thread
// that is already running at the instant, since waking one there was seen to cost
// milliseconds. Output queued meanwhile is not held up: it goes at once, as it would have
// before the timed bytes were queued. A hold ends after kMaxHold all the same, in case the
// clock was set back meanwhile.
TWriteThread::Outcome TWriteThread::holdUntil(qint64 releaseAtNs) {
    const qint64 kSpinNs = Event::spinBeforeNs();
    constexpr auto kMaxHold = std::chrono::seconds(2);
    TBaseDispatcher& d = owner_;
    const auto giveUp = std::chrono::steady_clock::now() + kMaxHold;
    std::optional<SpinSlot> slot;
    for (;;) {
        using namespace std::chrono;
        const qint64 remaining = releaseAtNs - realtimeNowNs();
        const auto left = duration_cast<milliseconds>(giveUp - steady_clock::now()).count();
        if (remaining <= 0 || left <= 0)
            return Outcome::Done;
        const qint64 sleepMs = remaining > kSpinNs ? (remaining - kSpinNs) / 1'000'000 : 0;
        if (sleepMs == 0 && Event::sleepsPrecisely()) {
            if (!slot)
                slot.emplace();
            if (!slot->held()) {
                std::this_thread::sleep_for(std::chrono::nanoseconds(remaining));
                continue;
            }
        }
        const int fired = Event::waitAny({&d.OutFlushEvent, &d.KillEvent, &d.OutputEvent},
                                         int(std::min<qint64>(sleepMs, left)));
        if (fired == 0) {
            d.GeneralEvent.set();
            return Outcome::Flushed;
        }
        if (fired == 1 || d.KillThreads())
            return Outcome::Stop;
        if (fired == 2) {
            const Outcome outcome = writeBlock(d.takeOutput());
            if (outcome != Outcome::Done)
                return outcome;
        }
    }
}

// The block's bytes were counted as unwritten when they became due; each write takes off what
// the driver accepted, and whatever a flush, the end or a failure drops is taken off at the end.
TWriteThread::Outcome TWriteThread::writeBlock(const QByteArray& block) {
    TBaseDispatcher& d = owner_;
    qint64 done = 0;
    const auto dropRest = qScopeGuard([&] { d.unwritten_ -= block.size() - done; });
    while (done < block.size()) {
        qint64 written = 0;
        const std::error_code err =
            d.device().write(block.constData() + done, block.size() - done, written);
        if (err) {
            if (d.KillThreads())
                return Outcome::Stop;  // the port is closing: what is dropped is meant to be
            // Whatever the error, the message did not leave whole: it is a failure, told with
            // how far it had got.
            std::lock_guard lock(d.OutputSection);
            d.writeFailure_ = {err, done, qint64(block.size())};
            return Outcome::Failed;
        }
        d.unwritten_ -= written;
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
