#pragma once
// The errors of the serial port layer, with their codes and texts.

#include "base/exception.h"
#include "serial/serial_error_code.h"

#include <exception>
#include <functional>

namespace qev {

// A worker thread's failure: the exception's class name and message ("EInOutError", "Device write
// error"), and in plain words which port and device, how much of the message left and why.
struct ThreadFailure {
    QString className;
    QString message;
    QString detail;

    // "Exception EInOutError in a serial port thread: Device write error." and the detail on a
    // line of its own.
    QString text() const;
};

// Receives a worker thread's failure ON THAT THREAD. The receiver hands it to its own thread.
using ThreadErrorHandler = std::function<void(const ThreadFailure& failure)>;

// The unqualified class name of an exception ("EInOutError"), as a failure report names it.
QString exceptionClassName(const std::exception& e);

// The layer's base error; ErrorCode is the layer's (negative) code.
class ESerialException : public Exception {
public:
    ESerialException(QString message, int errorCode)
        : Exception(std::move(message)), errorCode_(errorCode) {}
    int ErrorCode() const noexcept { return errorCode_; }

private:
    int errorCode_;
};

// Failures to open the port.
class EOpenComm : public ESerialException {
public:
    using ESerialException::ESerialException;
};

class ENoPortSelected : public EOpenComm {
public:
    ENoPortSelected();
};

// ENoPortSelected because the user declined the port prompt: the send cycle keeps it silent.
class EPortPromptCancelled : public ENoPortSelected {};

// The port prompt had nothing to offer: no port is present. Says where a port can come from.
class ENoPortFound : public EOpenComm {
public:
    // portsFolder: where COM<n> links are looked up; empty where ports need no links.
    explicit ENoPortFound(const QString& portsFolder);
};

class EBadId : public EOpenComm {
public:
    EBadId();
};

class EAlreadyOpen : public EOpenComm {
public:
    // holder: who holds the device, as portHolderText tells it; added after a colon.
    explicit EAlreadyOpen(const QString& holder = {});
};

class ECommNotOpen : public EOpenComm {
public:
    ECommNotOpen();
};

// The user may not open the device (on Debian: not in the dialout group).
class EPortAccessDenied : public EOpenComm {
public:
    explicit EPortAccessDenied(const QString& devicePath);
};

// The port's name leads to something that is not a serial device (a file, a pipe, a folder).
class ENotSerialDevice : public EOpenComm {
public:
    // kind: what it is instead, as fileKindText gives it.
    ENotSerialDevice(const QString& devicePath, const QString& kind);
};

// The port's link could not be looked at (a path too long, a folder that may not be searched):
// no device is opened in its place.
class EPortUnexaminable : public EOpenComm {
public:
    // error: the system's error number.
    EPortUnexaminable(const QString& linkPath, int error);
};

// A port behind a serial device server that cannot be reached, set up, or kept: the text names
// the server and says why.
class ENetworkPortError : public ESerialException {
public:
    // server: the port's address ("rfc2217://clock-hall:2217"); reason: the system's or the
    // server's words.
    ENetworkPortError(const std::error_code& error, const QString& server, const QString& reason);
};

// Failures while the port is open.
class ESerialIO : public ESerialException {
public:
    using ESerialException::ESerialException;
};

class EOutputBufferTooSmall : public ESerialIO {
public:
    EOutputBufferTooSmall();
};

// A message that was accepted but did not reach the line: the line took no data (a stalled
// adapter, a peer that stopped reading), or a timed message never got its instant.
class EMessageNotSent : public ESerialIO {
public:
    // The line still held bytes of it when the port had to close: of its size bytes, unsent had
    // not left.
    static EMessageNotSent stalled(const QString& devicePath, qint64 size, qint64 unsent);
    // A timed message that was still waiting for its instant when the port closed.
    static EMessageNotSent notReleased(const QString& devicePath);

private:
    explicit EMessageNotSent(QString message);
};

// The runtime's input/output error; ErrorCode is the positive error number.
class EInOutError : public Exception {
public:
    // code is the layer's negative code, -2..-162, with the layer's text for it.
    explicit EInOutError(int code);
    // A system error number with the text that says what it is.
    EInOutError(int error, QString text);
    int ErrorCode() const noexcept { return errorCode_; }

private:
    int errorCode_;
};

class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception(QStringLiteral("Out of memory")) {}
};

namespace serial_error {
constexpr int kBadId = -2001;
constexpr int kCommNotOpen = -2007;
constexpr int kAlreadyOpen = -2008;
constexpr int kNoPortSelected = -2011;
constexpr int kAccessDenied = -2013;
constexpr int kNotSerialDevice = -2015;
constexpr int kUnexaminable = -2016;
constexpr int kNetworkPort = -2020;
constexpr int kOutputBufferTooSmall = -3006;
constexpr int kMessageNotSent = -3007;
constexpr int kDeviceWriteError = -160;
constexpr int kDeviceReadError = -161;
}  // namespace serial_error

// The layer's text for -2..-162, or a null string when it has none.
QString inOutErrorText(int code);

// The device itself rather than the COM<n> link to it, for messages.
QString deviceName(const QString& devicePath);

// Why a write to the device failed with the device layer's error, in words a user can act on.
QString writeFailureCause(const std::error_code& error);

// What a failed write did, for the failure's detail: "COM3 (/dev/ttyUSB0): 5 of the message's
// 82 bytes left before the write failed: <cause>".
QString writeFailureDetail(const QString& port, const QString& devicePath, qint64 written,
                           qint64 size, const std::error_code& error);

// Raises the exception, with the texts the port component gives, for a failure of the worker or
// the device layer. devicePath names the device in messages that need it.
// reason: the device layer's own words, where it has any.
[[noreturn]] void raiseSerialError(const std::error_code& error, const QString& devicePath,
                                   const QString& reason = {});
// A failure of the system's own (serial_error_code.h), as this platform reports it.
[[noreturn]] void raiseSystemError(const std::error_code& error);
// The same for the failure a worker thread ended on: its reads and writes are input/output
// errors ("Device read error", "Device write error").
[[noreturn]] void raiseThreadError(const std::error_code& error);

}  // namespace qev
