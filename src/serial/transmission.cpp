#include "serial/transmission.h"

#include "serial/com_port.h"
#include "serial/serial_errors.h"

#include <chrono>
#include <thread>

namespace qev {

namespace {

// The millisecond tick counter: 32 bits, wrapping.
quint32 tickCount() {
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

quint32 WaitMilliseconds(quint32 ms, const std::function<quint32()>& tick) {
    quint32 previous = tick();
    quint32 elapsed = 0;
    // Only differences are summed, so a wrap of the counter does no harm.
    while (elapsed < ms) {
        const quint32 now = tick();
        elapsed += now - previous;
        previous = now;
    }
    return ms;
}

quint32 WaitMilliseconds(quint32 ms) {
    // No events are handled during the wait, but the processor is given up between looks at
    // the counter: a pure spin starved the kernel's own work queued on this processor, so the
    // bytes just written could reach the line a whole scheduler tick late.
    return WaitMilliseconds(ms, [] {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return tickCount();
    });
}

namespace {

// The wait after the drain, ended early by a cancel request once everything due has left, so
// that no message is cut in two.
void waitUnlessCancelled(TComPort& port, quint32 ms, const std::function<bool()>& cancelled) {
    const quint32 start = tickCount();
    while (tickCount() - start < ms && !(cancelled() && port.UnsentBytes() == 0))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

}  // namespace

void checkSent(TComPort& port, qint64 size) {
    if (port.Open() && !port.CanWrite())
        throw EReported(
            QStringLiteral("the write to %1 failed").arg(deviceName(port.DevicePath())));
    if (const qint64 unsent = port.UnsentBytes(); unsent > 0)
        throw EMessageNotSent::stalled(port.DevicePath(), size, unsent);
}

void transmit(TComPort& port, int itemIndex, const QByteArray& message, const CycleHooks& hooks) {
    const auto cancelled = [&hooks] { return hooks.cancelled && hooks.cancelled(); };
    // Outside the guard: with the port open on another number this reopens it, and a failure
    // of that open is the caller's to show. A reopen on number 0 runs the port prompt, whose
    // Cancel is as silent here as anywhere.
    try {
        port.setComNumber(quint16(itemIndex + 1));
    } catch (const EPortPromptCancelled&) {
        throw EAbort();
    }
    try {
        port.setOpen(true);
        if (cancelled())
            throw EAbort();  // nothing queued yet
        port.PutString(message);
        while (port.OutBuffUsed() != 0) {
            if (hooks.processEvents)
                hooks.processEvents();
        }
        if (hooks.cancelled)
            waitUnlessCancelled(port, 500, cancelled);
        else
            WaitMilliseconds(500);
        checkSent(port, message.size());
        if (!hooks.keepOpen || !hooks.keepOpen())
            port.setOpen(false);
    } catch (const EPortPromptCancelled&) {
        port.setOpen(false);
        throw EAbort();
    } catch (...) {
        // No port stays open after a failed transmission.
        port.setOpen(false);
        throw;
    }
}

void transmit(TComPort& port, int itemIndex, const QByteArray& message,
              const std::function<void()>& processEvents) {
    transmit(port, itemIndex, message, CycleHooks{processEvents, {}, {}});
}

}  // namespace qev
