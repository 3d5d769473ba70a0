#pragma once
// POSIX: a wait on one descriptor (a line, a connection) that one of the events cuts short.

#include "serial/serial_device.h"

#include <initializer_list>

namespace qev {

// Waits up to timeoutMs for events (POLLIN, POLLOUT, POLLPRI) on fd or for one of wake (which
// the wait then claims). HangUp when the descriptor is hung up or failed.
WaitResult waitOnDescriptor(int fd, short events, int timeoutMs,
                            std::initializer_list<Event*> wake);

}  // namespace qev
