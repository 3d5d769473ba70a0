#pragma once
// The serial port component: the port settings, open and close, and queueing output.
// Every open creates a worker (TSerialDispatcher) that owns the device and its threads;
// every close frees it, so nothing is held between transmissions.

#include "serial/port_prompt.h"
#include "serial/serial_errors.h"
#include "serial/serial_types.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace qev {

class TSerialDispatcher;

// The layer's component base: where a worker thread's failure is reported.
class TBaseComponent {
public:
    virtual ~TBaseComponent() = default;

    void setThreadErrorHandler(ThreadErrorHandler handler);
    const ThreadErrorHandler& threadErrorHandler() const { return threadErrorHandler_; }

private:
    ThreadErrorHandler threadErrorHandler_;
};

class TCustomComPort : public TBaseComponent {
public:
    TCustomComPort();
    ~TCustomComPort() override;  // closes the port when open
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // Port n names the device "\\.\COM<n>". With the port open a new number closes it and
    // opens it again on the new number (which may raise); closed, the number is only stored.
    quint16 ComNumber() const { return comNumber_; }
    void setComNumber(quint16 n);

    qint32 Baud() const { return baud_; }
    void setBaud(qint32 baud);
    // The line settings in force, the layer's defaults (the clock's port sets only Baud and
    // AutoOpen): no parity, 8 data bits, one stop bit, 4096-byte driver queues, DTR and RTS
    // asserted, no hardware or software flow control, XON 17 and XOFF 19, no buffer limits.
    static constexpr TParity Parity() { return pNone; }
    static constexpr quint16 DataBits() { return 8; }
    static constexpr quint16 StopBits() { return 1; }
    static constexpr quint16 InSize() { return 4096; }
    static constexpr quint16 OutSize() { return 4096; }
    static constexpr bool DTR() { return true; }
    static constexpr bool RTS() { return true; }
    static constexpr THWFlowOptions HWFlowOptions() { return 0; }
    static constexpr TSWFlowOptions SWFlowOptions() { return swfNone; }
    static constexpr quint8 XOnChar() { return 17; }
    static constexpr quint8 XOffChar() { return 19; }
    static constexpr quint16 BufferFull() { return 0; }
    static constexpr quint16 BufferResume() { return 0; }
    bool PromptForPort() const { return promptForPort_; }
    void setPromptForPort(bool on) { promptForPort_ = on; }
    // Asked while a port behind a serial device server connects: true gives up (EAbort).
    void setOpenCancelled(std::function<bool()> cancelled) {
        openCancelled_ = std::move(cancelled);
    }
    bool AutoOpen() const { return autoOpen_; }
    void setAutoOpen(bool on) { autoOpen_ = on; }

    // Used by EnsurePortNumber; none behaves as a cancelled prompt. Not owned.
    void setPortPrompt(PortPrompt* prompt) { prompt_ = prompt; }

    bool Open() const { return state_ == psOpen; }
    // True opens (running EnsurePortNumber first), False closes and discards unsent output.
    // Opening an open port or closing a closed one does nothing.
    void setOpen(bool open);

    // Leaves ComNumber non-zero or raises (ENoPortSelected; EPortPromptCancelled when the
    // user declined the prompt; ENoPortFound when there was no port to choose).
    void EnsurePortNumber();

    // Queues the bytes whole or not at all; raises on failure. Ignored while shutting down.
    void PutString(const QByteArray& bytes);
    // The same, to leave no earlier than releaseAtNs of the computer's clock (0: at once).
    void PutStringAt(const QByteArray& bytes, qint64 releaseAtNs);
    // How many PutStringAt messages have gone on the line, over every open of this port.
    quint32 TimedSent() const;
    // Bytes still in the worker's output ring; 0 unless open.
    quint16 OutBuffUsed();
    // Bytes due on the line that have not left yet, the driver's queue included (a timed
    // message waiting for its instant does not count); 0 unless open.
    qint64 UnsentBytes();
    // Whether an open port can still put bytes on the line: its writer has not failed.
    bool CanWrite() const;
    // The device the port's number led to at the last open, for messages.
    QString DevicePath() const;
    // Whether what that device took is known to have left (false on a pseudo-terminal, whose
    // peer cannot be seen to read it), as of the last open.
    bool DeliveryKnown() const { return lastDeliveryKnown_; }

    // Told of what numbering the ports before a prompt could not do (an adapter left without a
    // number, a ports folder that cannot be written); none drops it.
    void setNoticeHandler(std::function<void(const QString&)> handler) {
        noticeHandler_ = std::move(handler);
    }

private:
    void openPort();
    void closePort();
    void writeSettings();
    bool autoOpened();

    quint16 comNumber_ = 0;
    qint32 baud_ = 19200;
    bool promptForPort_ = true;
    bool autoOpen_ = true;

    PortPrompt* prompt_ = nullptr;
    TPortState state_ = psClosed;
    quint32 timedSentBefore_ = 0;  // by workers already closed
    QString lastDevicePath_;
    bool lastDeliveryKnown_ = true;
    std::function<void(const QString&)> noticeHandler_;
    std::function<bool()> openCancelled_;
    std::unique_ptr<TSerialDispatcher> dispatcher_;
};

class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

// The clock's port as the window and the commands use it: 4800 baud, and opened by the send
// cycle alone (never implicitly by a write); the other settings stay at the defaults above.
inline constexpr qint32 kClockBaud = 4800;
void setUpClockPort(TCustomComPort& port);

// Availability of port n (1..), asked without opening it. False for 0.
bool PortPresent(quint16 n);

// What the port prompt offers: "COM%d" for every n from 1 to 50 where PortPresent(n), ascending.
QStringList presentPortNames();

// The port number of a prompt item such as "COM3": the text after its first three characters.
// Raises qev::EConvertError when that is not a decimal integer (an empty text included).
quint16 SelectedComNum(const QString& itemText);

}  // namespace qev
