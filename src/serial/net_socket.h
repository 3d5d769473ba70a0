#pragma once
// A TCP connection to a serial device server, non-blocking, whose waits another thread can cut
// short with an event, as the device layer's are. Each failure comes with its reason in words.

#include "serial/event.h"
#include "serial/serial_device.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>

namespace qev {

// Whole milliseconds from now to deadline, 0 once it has passed: the network's waits are bounded
// by deadlines, and taken in slices.
inline int millisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    return int(std::max<decltype(left)>(left, 0));
}

class NetSocket {
public:
    NetSocket();
    ~NetSocket();
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // Finds host and connects to it within timeoutMs, asking cancelled every few milliseconds
    // (true ends it with SerialErrc::open_cancelled). On failure why says what happened.
    std::error_code connect(const QString& host, quint16 port, int timeoutMs,
                            const std::function<bool()>& cancelled, QString& why);
    bool isOpen() const;
    void close();

    // What the connection takes now; sent 0 when it is full.
    std::error_code send(const char* data, qint64 length, qint64& sent);
    // What has arrived; got 0 when nothing has. closed: the server has closed its side.
    std::error_code receive(char* data, qint64 length, qint64& got, bool& closed);
    // Waits for the connection to be readable (or writable), or for one of the events.
    WaitResult wait(bool forWriting, int timeoutMs, std::initializer_list<Event*> wake);
    // Bytes sent that the server has not acknowledged yet; 0 where that cannot be told.
    qint64 unacknowledged();

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

}  // namespace qev
