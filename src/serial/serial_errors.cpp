#include "serial/serial_errors.h"

#include "base/error_text.h"
#include "base/file_kind.h"
#include "ports/device_naming.h"
#include "ports/network_port.h"
#include "ports/port_holder.h"
#include "ports/port_messages.h"
#include "serial/network_device.h"
#include "serial/serial_device.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <typeinfo>

#if defined(__GNUG__)
#include <cxxabi.h>
#endif

namespace qev {

ENoPortSelected::ENoPortSelected()
    : EOpenComm(QStringLiteral("The ComNumber property of the TComPort has not been set"),
                serial_error::kNoPortSelected) {}

namespace {

// The folder as a user would type it: the home folder as "~".
QString shownFolder(const QString& folder) {
    const QString home = QDir::homePath();
    if (folder.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + folder.mid(home.size());
    return QDir::toNativeSeparators(folder);
}

}  // namespace

ENoPortFound::ENoPortFound(const QString& portsFolder)
    : EOpenComm(portsFolder.isEmpty()
                    ? QStringLiteral("No serial port was found. Connect the clock's adapter; "
                                     "Device Manager shows the COMn name it is given")
                    : QStringLiteral("No serial port was found. Connect the clock's adapter, or "
                                     "link a device as %1/COMn")
                          .arg(shownFolder(portsFolder)),
                serial_error::kNoPortSelected) {}

EBadId::EBadId()
    : EOpenComm(QStringLiteral("Specified comport doesn't exist"), serial_error::kBadId) {}

EAlreadyOpen::EAlreadyOpen(const QString& holder)
    : EOpenComm(holder.isEmpty() ? QStringLiteral("Device already open")
                                 : QStringLiteral("Device already open: ") + holder,
                serial_error::kAlreadyOpen) {}

ECommNotOpen::ECommNotOpen()
    : EOpenComm(QStringLiteral("Device not open"), serial_error::kCommNotOpen) {}

EPortAccessDenied::EPortAccessDenied(const QString& devicePath)
    : EOpenComm(QStringLiteral("You have no permission to open the serial device %1. "
                               "Ask your administrator for access to it; on Debian, add your "
                               "user to the dialout group and log in again")
                    .arg(devicePath),
                serial_error::kAccessDenied) {}

ENotSerialDevice::ENotSerialDevice(const QString& devicePath, const QString& kind)
    : EOpenComm(notSerialDeviceText(devicePath, kind), serial_error::kNotSerialDevice) {}

EPortUnexaminable::EPortUnexaminable(const QString& linkPath, int error)
    : EOpenComm(unexaminableText(linkPath, error), serial_error::kUnexaminable) {}

EOutputBufferTooSmall::EOutputBufferTooSmall()
    : ESerialIO(QStringLiteral("Output buffer too small for block"),
                serial_error::kOutputBufferTooSmall) {}

EMessageNotSent::EMessageNotSent(QString message)
    : ESerialIO(std::move(message), serial_error::kMessageNotSent) {}

QString deviceName(const QString& devicePath) {
    const QFileInfo info(devicePath);
    const QString target = info.canonicalFilePath();
    if (!target.isEmpty())
        return target;
    // A link to nothing: where it leads is what the user can check.
    return info.isSymLink() ? info.symLinkTarget() : devicePath;
}

EMessageNotSent EMessageNotSent::stalled(const QString& devicePath, qint64 size, qint64 unsent) {
    const qint64 left = std::clamp<qint64>(size - unsent, 0, size);
    if (left == 0)
        return EMessageNotSent(QStringLiteral("The message did not leave %1: the line took no data "
                                              "(a stalled adapter, or a peer that stopped reading)")
                                   .arg(deviceName(devicePath)));
    return EMessageNotSent(QStringLiteral("The message did not leave %1 whole: the line took %2 "
                                          "of its %3 bytes, then no more (a stalled adapter, or a "
                                          "peer that stopped reading)")
                               .arg(deviceName(devicePath))
                               .arg(left)
                               .arg(size));
}

QString ThreadFailure::text() const {
    QString text = QStringLiteral("Exception %1 in a serial port thread: %2")
                       .arg(className, withFinalPeriod(message));
    if (!detail.isEmpty())
        text += u'\n' + withFinalPeriod(detail);
    return text;
}

QString writeFailureCause(const std::error_code& error) {
    if (error == SerialErrc::device_gone || error == SerialErrc::device_missing)
        return QStringLiteral(
            "the adapter was unplugged or stopped answering. Check its cable and "
            "plug, then send again");
    if (error == SerialErrc::invalid_handle)
        return QStringLiteral("the port's handle was closed under it. Send again");
    if (error == SerialErrc::connection_closed)
        return QStringLiteral("the serial device server closed the connection. Send again");
    if (error == SerialErrc::device_busy || error == SerialErrc::access_denied)
        return QStringLiteral("the system refused the write. Send again");
    return QStringLiteral("the system said: %1").arg(QString::fromStdString(error.message()));
}

QString writeFailureDetail(const QString& port, const QString& devicePath, qint64 written,
                           qint64 size, const std::error_code& error) {
    const QString where = port.isEmpty() || port == devicePath
                              ? deviceName(devicePath)
                              : QStringLiteral("%1 (%2)").arg(port, deviceName(devicePath));
    const QString what =
        written == 0 ? QStringLiteral("none of the message's %1 bytes left").arg(size)
                     : QStringLiteral("%1 of the message's %2 bytes left").arg(written).arg(size);
    return QStringLiteral("%1: %2 before the write failed: %3")
        .arg(where, what, writeFailureCause(error));
}

EMessageNotSent EMessageNotSent::notReleased(const QString& devicePath) {
    return EMessageNotSent(QStringLiteral("The time was not sent to %1: the port closed before "
                                          "the second it was timed for")
                               .arg(deviceName(devicePath)));
}

namespace {

QString inOutMessage(int code) {
    const QString text = inOutErrorText(code);
    return text.isNull() ? QStringLiteral("I/O error %1").arg(-code) : text;
}

}  // namespace

EInOutError::EInOutError(int code) : Exception(inOutMessage(code)), errorCode_(-code) {}

EInOutError::EInOutError(int error, QString text) : Exception(std::move(text)), errorCode_(error) {}

QString inOutErrorText(int code) {
    switch (code) {
        case -2:
            return QStringLiteral("File not found");
        case -3:
            return QStringLiteral("Path not found");
        case -4:
            return QStringLiteral("Too many open files");
        case -5:
            return QStringLiteral("File access denied");
        case -6:
            return QStringLiteral("Invalid file handle");
        case -8:
            return QStringLiteral("Insufficient memory");
        case -15:
            return QStringLiteral("Invalid drive");
        case -18:
            return QStringLiteral("No more files");
        case -100:
            return QStringLiteral("Attempt to read beyond end of file");
        case -101:
            return QStringLiteral("Disk is full");
        case -102:
            return QStringLiteral("File/device not assigned");
        case -103:
            return QStringLiteral("File/device not open");
        case -104:
            return QStringLiteral("File/device not open for input");
        case -105:
            return QStringLiteral("File/device not open for output");
        case -150:
            return QStringLiteral("Disk is write-protected");
        case -151:
            return QStringLiteral("Unknown disk unit");
        case -152:
            return QStringLiteral("Drive is not ready");
        case -153:
            return QStringLiteral("Unknown command");
        case -154:
            return QStringLiteral("Data error");
        case -155:
            return QStringLiteral("Bad request structure length");
        case -156:
            return QStringLiteral("Seek error");
        case -157:
            return QStringLiteral("Unknown media type");
        case -158:
            return QStringLiteral("Disk sector not found");
        case -159:
            return QStringLiteral("Printer is out of paper");
        case -160:
            return QStringLiteral("Device write error");
        case -161:
            return QStringLiteral("Device read error");
        case -162:
            return QStringLiteral("General failure");
        default:
            return QString();
    }
}

QString exceptionClassName(const std::exception& e) {
    QString name = QString::fromLatin1(typeid(e).name());
#if defined(__GNUG__)
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status), std::free);
    if (status == 0 && demangled)
        name = QString::fromLatin1(demangled.get());
#endif
    // MSVC spells it "class qev::EInOutError"; the report wants the bare class name.
    name = name.section(QLatin1Char(' '), -1);
    return name.section(QStringLiteral("::"), -1);
}

namespace {

QString networkFailureText(const std::error_code& error, const QString& server,
                           const QString& reason) {
    const auto address = parseNetworkPort(server);
    const QString where = address ? address->endpoint() : server;
    const QString host = address ? address->host : server;
    const QString because = reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason);
    const QString raw = address ? QStringLiteral("tcp://") + address->endpoint() : server;
    switch (SerialErrc(error.value())) {
        case SerialErrc::host_not_found:
            return QStringLiteral(
                       "The serial device server %1 cannot be found: the name \"%2\" is not "
                       "known%3")
                .arg(where, host, because);
        case SerialErrc::lookup_failed:
            return QStringLiteral(
                       "The serial device server %1 cannot be found: its name could not be "
                       "looked up%2. Check the network and its name servers")
                .arg(where, because);
        case SerialErrc::connection_refused:
            return QStringLiteral(
                       "The serial device server %1 refused the connection: nothing takes "
                       "connections on port %2 there (is the server running, with this port?)")
                .arg(where)
                .arg(address ? address->port : 0);
        case SerialErrc::connect_timeout:
            return QStringLiteral(
                       "The serial device server %1 did not answer within %2 seconds: it is "
                       "switched off or out of reach, or a firewall drops the connection")
                .arg(where)
                .arg(kNetworkAnswerMs / 1000);
        case SerialErrc::connection_closed:
            return QStringLiteral(
                       "The serial device server %1 closed the connection%2; it may be serving "
                       "another client")
                .arg(where, because);
        case SerialErrc::negotiation_timeout:
            return QStringLiteral(
                       "The serial device server %1 does not set the line as RFC 2217 asks: %2. "
                       "If it is set to 4800 8N1 itself, give the port as %3")
                .arg(where, reason, raw);
        case SerialErrc::protocol_refused:
            return QStringLiteral(
                       "The serial device server %1 does not speak RFC 2217: %2. If it is set to "
                       "4800 8N1 itself, give the port as %3")
                .arg(where, reason, raw);
        case SerialErrc::settings_refused:
            return QStringLiteral(
                       "The serial device server %1 did not apply the line settings (%2), so "
                       "nothing was sent; set its port to allow 4800 8N1 without flow control")
                .arg(where, reason);
        default:
            return QStringLiteral("The serial device server %1 failed: %2")
                .arg(where, QString::fromStdString(error.message()));
    }
}

}  // namespace

ENetworkPortError::ENetworkPortError(const std::error_code& error, const QString& server,
                                     const QString& reason)
    : ESerialException(networkFailureText(error, server, reason), serial_error::kNetworkPort) {}

void raiseSerialError(const std::error_code& error, const QString& devicePath,
                      const QString& reason) {
    if (error.category() == serialCategory()) {
        switch (SerialErrc(error.value())) {
            case SerialErrc::open_cancelled:
                throw EAbort();
            case SerialErrc::host_not_found:
            case SerialErrc::lookup_failed:
            case SerialErrc::connection_refused:
            case SerialErrc::connect_timeout:
            case SerialErrc::connection_closed:
            case SerialErrc::negotiation_timeout:
            case SerialErrc::protocol_refused:
            case SerialErrc::settings_refused:
                throw ENetworkPortError(error, devicePath, reason);
            case SerialErrc::device_missing:
            case SerialErrc::device_gone:
                throw EBadId();
            case SerialErrc::device_busy:
                throw EAlreadyOpen(portHolderText(devicePath));
            case SerialErrc::access_denied:
                throw EPortAccessDenied(deviceName(devicePath));
            case SerialErrc::not_serial_device: {
                // The same words as the check that refused it, where that check did.
                const QString what = examineDevice(devicePath).what;
                throw ENotSerialDevice(devicePath,
                                       what.isEmpty() ? fileKindText(devicePath) : what);
            }
            case SerialErrc::unexaminable:
                throw EPortUnexaminable(devicePath, examineDevice(devicePath).error);
            case SerialErrc::output_buffer_too_small:
                throw EOutputBufferTooSmall();
            case SerialErrc::comm_not_open:
                throw ECommNotOpen();
            case SerialErrc::out_of_memory:
                throw EOutOfMemory();
            case SerialErrc::invalid_handle:
                throw EInOutError(-6);
            case SerialErrc::write_failed:
                throw EInOutError(serial_error::kDeviceWriteError);
            case SerialErrc::read_failed:
                throw EInOutError(serial_error::kDeviceReadError);
            case SerialErrc::threads_not_started:
                break;
        }
    }
    if (isSystemError(error))
        raiseSystemError(error);
    throw ESerialException(
        QStringLiteral("The serial port failed: %1").arg(QString::fromStdString(error.message())),
        0);
}

void raiseThreadError(const std::error_code& error) {
    if (error == SerialErrc::write_failed)
        throw EInOutError(serial_error::kDeviceWriteError);
    if (error == SerialErrc::read_failed)
        throw EInOutError(serial_error::kDeviceReadError);
    if (error == SerialErrc::out_of_memory)
        throw EInOutError(-8);
    raiseSerialError(error, {});
}

}  // namespace qev
