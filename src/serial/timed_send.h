#pragma once
// A send timed to a second boundary: the port is opened first, so that its opening costs
// nothing at the moment that counts, then the message built for the planned second is queued
// exactly when it must start on the line, and the send cycle goes on as usual.

#include "serial/sync_timing.h"

#include <QByteArray>

#include <chrono>
#include <functional>

namespace qev {

class TComPort;

// Lets up to the given time pass doing other work: sleep, or run an event loop.
using IdleFor = std::function<void(std::chrono::nanoseconds)>;

// Returns at targetNs of the computer's clock, or at once when that has passed: idles until
// shortly before it and spins the rest, since neither sleep nor an event loop wakes up to the
// millisecond on a busy machine.
void waitUntilNs(qint64 targetNs, const IdleFor& idle);

// The timed send cycle on port itemIndex + 1 (as transmit(), which it ends with): opens the
// port, plans the next second for a message of messageBytes at the port's baud rate, builds
// the message for that second, waits for its send instant and hands it to the port. A send
// started during the wait (through idle's event loop) may close the port; it is then opened
// again and the second planned anew, as it is when the wait overslept the instant. Failures as
// transmit(); returns the plan that was sent.
SyncPlan transmitOnSecond(TComPort& port, int itemIndex, qint64 messageBytes,
                          const std::function<QByteArray(qint64 second)>& build,
                          const IdleFor& idle, const std::function<void()>& processEvents);

}  // namespace qev
