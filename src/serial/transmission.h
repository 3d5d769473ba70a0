#pragma once
// One transmission: open the chosen port, queue one message, let it leave, close the port.

#include <QByteArray>

#include <functional>

namespace qev {

class TComPort;

// What a send cycle asks of its caller along the way; any of them may be left empty.
struct CycleHooks {
    // Run between passes of the drain loop (the window handles its events there).
    std::function<void()> processEvents;
    // Asked at the end: true leaves the port open (a timed message still waits on it).
    std::function<bool()> keepOpen;
    // Asked during the waits: true ends the cycle at once, with EAbort when nothing was queued
    // yet; a message already queued is let go whole, and the wait after it ends once it left.
    std::function<bool()> cancelled;
};

// The send cycle. The port number is the low 16 bits of itemIndex + 1 (so -1 asks the user);
// that assignment may raise when it has to reopen an open port. Then: open, PutString, a drain
// loop that runs processEvents until the worker has taken the bytes, WaitMilliseconds(500),
// close. A message that has not left the line by then raises EMessageNotSent (the close
// discards it); one whose write failed raises EReported, the writer having told why. Any
// failure closes the port and is rethrown; a cancelled port prompt becomes qev::EAbort, which
// the error display keeps silent, also when the number assignment ran it.
void transmit(TComPort& port, int itemIndex, const QByteArray& message, const CycleHooks& hooks);
void transmit(TComPort& port, int itemIndex, const QByteArray& message,
              const std::function<void()>& processEvents);

// Raises EReported when the open port's writer failed, and EMessageNotSent when bytes due on it
// have not left the line; size is the message's.
void checkSent(TComPort& port, qint64 size);

// Busy wait on the millisecond tick counter, safe across its wrap. Returns ms.
quint32 WaitMilliseconds(quint32 ms);
// The same on a given tick counter.
quint32 WaitMilliseconds(quint32 ms, const std::function<quint32()>& tick);

}  // namespace qev
