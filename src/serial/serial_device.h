#pragma once
// The platform device layer: the code that talks to the operating system about an open port.
// Failures are error codes: QEV's own (SerialErrc) for what the worker tells apart, the system's
// for the rest.

#include "serial/event.h"
#include "serial/serial_error_code.h"

#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>

namespace qev {

// The settings a write of the device's line state carries.
struct LineSettings {
    quint32 baud = 0;
    quint8 byteSize = 8;
    quint8 parity = 0;    // TParity
    quint8 stopBits = 0;  // 0 one, 1 one and a half, 2 two
    bool binary = true;   // raw: no line editing, no translation
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = true;
    bool outX = false;
    bool inX = false;
    bool nullStrip = false;
    bool dtrEnable = true;
    bool rtsEnable = true;
    quint8 xonChar = 17;
    quint8 xoffChar = 19;
    quint16 xonLim = 0;
    quint16 xoffLim = 0;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

enum class ControlLine { Dtr, Rts };

// What a device wait ended with.
struct WaitResult {
    enum Kind { Ready, Woken, TimedOut, HangUp } kind = TimedOut;
    int event = -1;  // with Woken: index of the event in the list
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the named device exclusively, without blocking (a network port's connection is
    // bounded in time instead, and ends when the function set here says so).
    virtual std::error_code open(const QString& devicePath) = 0;
    virtual void setOpenCancelled(std::function<bool()>) {}
    // Why the last open or setting failed, in words, where the code alone does not say it all
    // (what a server answered); empty otherwise.
    virtual QString failureReason() const { return {}; }
    virtual bool isOpen() const = 0;
    // Closes the handle as it stands; output still queued is the caller's to purge first.
    virtual void close() = 0;

    virtual std::error_code setupQueues(int inSize, int outSize) = 0;
    virtual std::error_code getState(LineSettings& settings) = 0;
    virtual std::error_code setState(const LineSettings& settings) = 0;
    virtual void setControlLine(ControlLine line, bool on) = 0;  // failure ignored
    virtual quint32 modemStatus() = 0;

    // Writes what the device takes now; written may be 0 (the write is pending).
    virtual std::error_code write(const char* data, qint64 length, qint64& written) = 0;
    // Reads what has arrived; got 0 when nothing has.
    virtual std::error_code read(char* data, qint64 length, qint64& got) = 0;
    // Wait for room to write / for received data, or for one of the events.
    virtual WaitResult waitWritable(int timeoutMs, std::initializer_list<Event*> wake) = 0;
    virtual WaitResult waitReadable(int timeoutMs, std::initializer_list<Event*> wake) = 0;
    // Wait for a line event (error, hang-up) or one of the events.
    virtual WaitResult waitLineEvent(int timeoutMs, std::initializer_list<Event*> wake) = 0;

    // Bytes the driver has taken and not yet put on the line; 0 where it cannot tell.
    virtual qint64 outputQueued() = 0;
    // Whether bytes the driver has taken are known to have left: false on a pseudo-terminal,
    // where they wait for the program at its other end, which cannot be seen to read them.
    virtual bool deliveryKnown() const { return true; }
    // Aborts nothing by itself; drops the driver's queue. A pseudo-terminal's queue is its
    // peer's unread input, which is never dropped.
    virtual void purgeOutput() = 0;
    virtual void purgeInput() = 0;
    // Line error bits gathered since the last call (overrun, parity, framing, break).
    virtual quint32 takeErrors() = 0;
};

// This platform's device layer.
std::unique_ptr<SerialDevice> createSerialDevice();

}  // namespace qev
