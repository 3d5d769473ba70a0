#pragma once
// A send timed to a second boundary: the port is opened first, so that its opening costs
// nothing at the moment that counts, then the message built for the planned second is handed
// to the port's writer, which puts it on the line exactly when it must start, and the send
// cycle goes on as usual.

#include "serial/sync_timing.h"

#include <QByteArray>

#include <chrono>
#include <functional>

namespace qev {

class TComPort;

// Lets up to the given time pass doing other work: sleep, or run an event loop.
using IdleFor = std::function<void(std::chrono::nanoseconds)>;

// The timed send cycle on port itemIndex + 1 (as transmit(), which it ends with): opens the
// port, plans the next second (at least 20 ms ahead) for a message of messageBytes at the
// port's baud rate, builds the message for that second and queues it to leave at its send
// instant, and idles until just after that. A send started during the wait (through idle's
// event loop) may close the port and drop the message; the port is then opened again and the
// next second sent. Failures as transmit(); returns the plan that was sent.
SyncPlan transmitOnSecond(TComPort& port, int itemIndex, qint64 messageBytes,
                          const std::function<QByteArray(qint64 second)>& build,
                          const IdleFor& idle, const std::function<void()>& processEvents);

}  // namespace qev
