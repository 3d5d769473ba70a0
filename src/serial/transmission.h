#pragma once
// One transmission: open the chosen port, queue one message, let it leave, close the port.

#include <QByteArray>

#include <functional>

namespace qev {

class TComPort;

// The send cycle. The port number is the low 16 bits of itemIndex + 1 (so -1 asks the user);
// that assignment may raise when it has to reopen an open port. Then: open, PutString, a drain
// loop that calls processEvents until the worker has taken the bytes, WaitMilliseconds(500),
// close. Any failure closes the port and is rethrown; a cancelled port prompt becomes
// qev::EAbort, which the error display keeps silent, also when the number assignment ran it.
void transmit(TComPort& port, int itemIndex, const QByteArray& message,
              const std::function<void()>& processEvents);

// Busy wait on the millisecond tick counter, safe across its wrap. Returns ms.
quint32 WaitMilliseconds(quint32 ms);
// The same on a given tick counter.
quint32 WaitMilliseconds(quint32 ms, const std::function<quint32()>& tick);

}  // namespace qev
