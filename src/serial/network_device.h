#pragma once
// The device layer of a port behind a serial device server (tcp://HOST:PORT, rfc2217://...):
// the worker, its threads and the send cycle use it as they use a local port's.

#include "serial/serial_device.h"

#include <memory>

namespace qev {

// How long a server has to take the connection, and then to answer the line settings.
inline constexpr int kNetworkAnswerMs = 3000;

// A device for the server named in open()'s path, as parseNetworkPort reads it.
std::unique_ptr<SerialDevice> createNetworkDevice();

}  // namespace qev
