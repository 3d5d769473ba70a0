#pragma once
// When to send a time-set message so that the device shows the right second: the message is
// timed to end on the line exactly at a second boundary, and carries the second that starts
// there. Arithmetic on nanoseconds since the Unix epoch (UTC), and the clock it is read from.

#include <QtGlobal>

namespace qev {

inline constexpr qint64 kNanosPerSecond = 1'000'000'000;

// The computer's clock (UTC), in nanoseconds since the epoch, as every timed send reads it (the
// port's writer included), shifted by the offset below.
qint64 realtimeNowNs();

// Shifts that clock by offsetNs for the whole process: tests start a timed send at a chosen
// point of a second instead of waiting for one. 0 by default.
void setRealtimeOffsetNs(qint64 offsetNs);

// How long bytes take on an asynchronous line: each byte is bitsPerByte bit times (a start
// bit, the data bits, the stop bits). 14 bytes of 10 bits at 4800 baud take 29.1667 ms.
qint64 wireTimeNs(qint64 bytes, qint64 baud, int bitsPerByte = 10);

struct SyncPlan {
    qint64 second = 0;    // the second to send, in seconds since the epoch
    qint64 sendAtNs = 0;  // when the first byte must go: that second's start less the wire time
};

// The earliest plan whose send instant is at least leadNs after nowNs, so that there is time
// left to hand the bytes over. The second is the one that starts when the message has ended.
SyncPlan planSync(qint64 nowNs, qint64 wireNs, qint64 leadNs);

}  // namespace qev
