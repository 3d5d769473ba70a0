// The Windows device layer: an overlapped handle from CreateFile, the DCB, and system events
// that the worker's own events can be waited on beside.

#include "ports/device_naming.h"
#include "serial/serial_device.h"

#include <windows.h>

#include <atomic>
#include <vector>

namespace qev {

namespace {

// The line events a status wait asks for (the NT family's set).
constexpr DWORD kEventMask = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;
// How long a read that the driver leaves pending (it should not, with the time-outs set) may
// hold up the reader, and how long a close waits for a cancelled operation to end.
constexpr DWORD kReadPendingMs = 200;
constexpr DWORD kCancelWaitMs = 2000;

// The outcomes the worker tells apart as QEV's own codes; the rest as the system's.
std::error_code failure(DWORD err) {
    switch (err) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return SerialErrc::device_missing;
        // Another open holds the port: the driver says access denied, a sharing check (as
        // some systems make for devices too) says sharing violation.
        case ERROR_SHARING_VIOLATION:
        case ERROR_ACCESS_DENIED:
            return SerialErrc::device_busy;
        case ERROR_INVALID_HANDLE:
            return SerialErrc::invalid_handle;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return SerialErrc::out_of_memory;
        default:
            return systemError(int(err));
    }
}

// A failing call that leaves no error number still fails.
std::error_code lastError() {
    const DWORD err = ::GetLastError();
    return failure(err == 0 ? ERROR_GEN_FAILURE : err);
}

// The port's name in the device namespace ("COM3"), in one case, for the claim below.
QString claimName(const QString& devicePath) {
    QString name = devicePath.toUpper();
    name.remove(0, name.lastIndexOf(u'\\') + 1);
    return QStringLiteral("Local\\QEV.port.") + name;
}

// An overlapped operation's event and block, owned together.
struct Overlapped {
    Overlapped() { ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() { ::CloseHandle(ov.hEvent); }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    // A fresh block for the next operation; the event stays.
    OVERLAPPED* start() {
        HANDLE event = ov.hEvent;
        ov = OVERLAPPED{};
        ov.hEvent = event;
        ::ResetEvent(event);
        return &ov;
    }

    OVERLAPPED ov{};
};

class Win32SerialDevice final : public SerialDevice {
public:
    Win32SerialDevice() : rxEvent_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~Win32SerialDevice() override {
        close();
        ::CloseHandle(rxEvent_);
    }

    std::error_code open(const QString& devicePath) override {
        if (h_ != INVALID_HANDLE_VALUE)
            return SerialErrc::device_busy;
        // Drivers refuse a second open of a port; not every system's do (Wine's serial
        // devices let it happen). A named claim keeps two of our opens off one port, and
        // it goes with the process if that dies.
        claim_ = ::CreateMutexW(nullptr, FALSE,
                                reinterpret_cast<LPCWSTR>(claimName(devicePath).utf16()));
        if (claim_ != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
            release();
            return SerialErrc::device_busy;
        }
        const HANDLE h = ::CreateFileW(reinterpret_cast<LPCWSTR>(devicePath.utf16()),
                                       GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const std::error_code err = lastError();
            release();
            return err;
        }
        // Reads return at once with what has arrived; writes have no time limit.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        if (!::SetCommTimeouts(h, &timeouts)) {
            const std::error_code err = lastError();
            ::CloseHandle(h);
            release();
            return err;
        }
        // Line events are only counted; a driver that cannot report them still sends.
        ::SetCommMask(h, kEventMask);
        h_ = h;
        errors_ = 0;
        return {};
    }

    bool isOpen() const override { return h_ != INVALID_HANDLE_VALUE; }

    void close() override {
        if (h_ == INVALID_HANDLE_VALUE)
            return;
        // The threads have ended, but an operation of theirs may still be pending; its block
        // must not be reused or freed before the system is done with it.
        if (writePending_) {
            ::CancelIoEx(h_, &write_.ov);
            settle(write_);
            writePending_ = false;
        }
        if (eventPending_) {
            ::SetCommMask(h_, 0);  // ends the wait
            ::CancelIoEx(h_, &event_.ov);
            settle(event_);
            eventPending_ = false;
        }
        ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        release();
    }

    std::error_code setupQueues(int inSize, int outSize) override {
        return ::SetupComm(h_, DWORD(inSize), DWORD(outSize)) ? std::error_code() : lastError();
    }

    std::error_code getState(LineSettings& s) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(h_, &dcb))
            return lastError();
        s.baud = dcb.BaudRate;
        s.byteSize = dcb.ByteSize;
        s.parity = dcb.Parity;
        s.stopBits = dcb.StopBits;
        s.binary = dcb.fBinary;
        s.parityCheck = dcb.fParity;
        s.outxCtsFlow = dcb.fOutxCtsFlow;
        s.outxDsrFlow = dcb.fOutxDsrFlow;
        s.dsrSensitivity = dcb.fDsrSensitivity;
        s.txContinueOnXoff = dcb.fTXContinueOnXoff;
        s.outX = dcb.fOutX;
        s.inX = dcb.fInX;
        s.nullStrip = dcb.fNull;
        s.dtrEnable = dcb.fDtrControl == DTR_CONTROL_ENABLE;
        s.rtsEnable = dcb.fRtsControl == RTS_CONTROL_ENABLE;
        s.xonChar = quint8(dcb.XonChar);
        s.xoffChar = quint8(dcb.XoffChar);
        s.xonLim = dcb.XonLim;
        s.xoffLim = dcb.XoffLim;
        return {};
    }

    std::error_code setState(const LineSettings& s) override {
        // Fields the layer does not set keep what the driver reported.
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(h_, &dcb))
            return lastError();
        dcb.BaudRate = s.baud;
        dcb.ByteSize = s.byteSize;
        dcb.Parity = s.parity;
        dcb.StopBits = s.stopBits;
        dcb.fBinary = s.binary;
        dcb.fParity = s.parityCheck;
        dcb.fOutxCtsFlow = s.outxCtsFlow;
        dcb.fOutxDsrFlow = s.outxDsrFlow;
        dcb.fDsrSensitivity = s.dsrSensitivity;
        dcb.fTXContinueOnXoff = s.txContinueOnXoff;
        dcb.fOutX = s.outX;
        dcb.fInX = s.inX;
        dcb.fNull = s.nullStrip;
        dcb.fDtrControl = s.dtrEnable ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        dcb.fRtsControl = s.rtsEnable ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        dcb.XonChar = char(s.xonChar);
        dcb.XoffChar = char(s.xoffChar);
        dcb.XonLim = s.xonLim;
        dcb.XoffLim = s.xoffLim;
        return ::SetCommState(h_, &dcb) ? std::error_code() : lastError();
    }

    void setControlLine(ControlLine line, bool on) override {
        const DWORD function =
            line == ControlLine::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
        ::EscapeCommFunction(h_, function);
    }

    quint32 modemStatus() override {
        DWORD status = 0;
        return ::GetCommModemStatus(h_, &status) ? status : 0;
    }

    // One overlapped write at a time: a call while one is pending collects it when it has
    // ended (the caller passes the same bytes again until it has been told they were taken).
    std::error_code write(const char* data, qint64 length, qint64& written) override {
        written = 0;
        DWORD n = 0;
        if (writePending_) {
            if (::GetOverlappedResult(h_, &write_.ov, &n, FALSE)) {
                writePending_ = false;
                written = n;
                return {};
            }
            const DWORD err = ::GetLastError();
            if (err == ERROR_IO_INCOMPLETE)
                return {};
            writePending_ = false;
            return aborted(err, length, written);
        }
        buffer_.assign(data, data + length);
        if (::WriteFile(h_, buffer_.data(), DWORD(length), nullptr, write_.start())) {
            if (::GetOverlappedResult(h_, &write_.ov, &n, TRUE))
                written = n;
            return {};
        }
        const DWORD err = ::GetLastError();
        if (err == ERROR_IO_PENDING) {
            writePending_ = true;
            return {};
        }
        return aborted(err, length, written);
    }

    std::error_code read(char* data, qint64 length, qint64& got) override {
        got = 0;
        // Ask only for what has arrived: a read for more may wait (some drivers ignore the
        // time-outs that should end it at once).
        const DWORD queued = inQueue();
        if (queued == 0)
            return {};
        DWORD n = 0;
        if (!::ReadFile(h_, data, DWORD(qMin<qint64>(length, queued)), nullptr, read_.start())) {
            const DWORD err = ::GetLastError();
            if (err != ERROR_IO_PENDING)
                return err == ERROR_OPERATION_ABORTED ? std::error_code() : failure(err);
            // The block is the caller's: the read must be over before this returns.
            if (::WaitForSingleObject(read_.ov.hEvent, kReadPendingMs) != WAIT_OBJECT_0)
                ::CancelIoEx(h_, &read_.ov);
        }
        if (!::GetOverlappedResult(h_, &read_.ov, &n, TRUE)) {
            const DWORD err = ::GetLastError();
            return err == ERROR_OPERATION_ABORTED ? std::error_code() : failure(err);
        }
        got = n;
        return {};
    }

    WaitResult waitWritable(int timeoutMs, std::initializer_list<Event*> wake) override {
        if (!writePending_)
            return {WaitResult::Ready, -1};
        WaitResult w = waitFor(write_.ov.hEvent, timeoutMs, wake);
        if (w.kind == WaitResult::Woken) {
            // The caller drops the rest of its block: so does the device.
            ::CancelIoEx(h_, &write_.ov);
            settle(write_);
            writePending_ = false;
        }
        return w;
    }

    WaitResult waitReadable(int timeoutMs, std::initializer_list<Event*> wake) override {
        if (inQueue() > 0)
            return {WaitResult::Ready, -1};
        WaitResult w = waitFor(rxEvent_, timeoutMs, wake);
        if (w.kind == WaitResult::TimedOut && inQueue() > 0)
            w.kind = WaitResult::Ready;
        return w;
    }

    WaitResult waitLineEvent(int timeoutMs, std::initializer_list<Event*> wake) override {
        if (!eventPending_) {
            mask_ = 0;
            if (::WaitCommEvent(h_, &mask_, event_.start()))
                return lineEvent();
            const DWORD err = ::GetLastError();
            if (err != ERROR_IO_PENDING)
                return {WaitResult::HangUp, -1};  // no status from this device
            eventPending_ = true;
        }
        WaitResult w = waitFor(event_.ov.hEvent, timeoutMs, wake);
        if (w.kind != WaitResult::Ready)
            return w;
        eventPending_ = false;
        DWORD n = 0;
        if (!::GetOverlappedResult(h_, &event_.ov, &n, FALSE))
            return {::GetLastError() == ERROR_OPERATION_ABORTED ? WaitResult::TimedOut
                                                                : WaitResult::HangUp,
                    -1};
        return lineEvent();
    }

    qint64 outputQueued() override { return queues().cbOutQue; }

    void purgeOutput() override { ::PurgeComm(h_, PURGE_TXABORT | PURGE_TXCLEAR); }
    void purgeInput() override { ::PurgeComm(h_, PURGE_RXABORT | PURGE_RXCLEAR); }

    quint32 takeErrors() override {
        inQueue();
        return errors_.exchange(0) & 0x1F;
    }

private:
    void release() {
        if (claim_ != nullptr)
            ::CloseHandle(claim_);
        claim_ = nullptr;
    }

    // An aborted write (a purge) counts as taken: what was left of it is meant to be dropped.
    static std::error_code aborted(DWORD err, qint64 length, qint64& written) {
        if (err != ERROR_OPERATION_ABORTED)
            return failure(err);
        written = length;
        return {};
    }

    // Waits for the device's event or one of the caller's; the caller's come first, so that a
    // flush or a stop is never missed behind a completion.
    static WaitResult waitFor(HANDLE device, int timeoutMs, std::initializer_list<Event*> wake) {
        std::vector<HANDLE> handles;
        handles.reserve(wake.size() + 1);
        for (Event* e : wake)
            handles.push_back(static_cast<HANDLE>(e->handle()));
        handles.push_back(device);
        const DWORD r = ::WaitForMultipleObjects(DWORD(handles.size()), handles.data(), FALSE,
                                                 timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
        WaitResult result;
        if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + wake.size()) {
            result.kind = WaitResult::Woken;
            result.event = int(r - WAIT_OBJECT_0);
        } else if (r == WAIT_OBJECT_0 + wake.size()) {
            result.kind = WaitResult::Ready;
        } else if (r == WAIT_FAILED) {
            result.kind = WaitResult::HangUp;
        }
        return result;
    }

    // Waits, bounded, for a cancelled operation to end, so its block is free again.
    void settle(Overlapped& op) {
        DWORD n = 0;
        if (::WaitForSingleObject(op.ov.hEvent, kCancelWaitMs) == WAIT_OBJECT_0)
            ::GetOverlappedResult(h_, &op.ov, &n, FALSE);
    }

    WaitResult lineEvent() {
        if (mask_ & EV_RXCHAR)
            ::SetEvent(rxEvent_);
        if (mask_ & (kEventMask & ~DWORD(EV_RXCHAR)))
            return {WaitResult::Ready, -1};
        return {WaitResult::TimedOut, -1};
    }

    // The driver's queues; gathers the line errors that the query clears.
    COMSTAT queues() {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!::ClearCommError(h_, &errors, &stat))
            return {};
        errors_.fetch_or(errors);
        return stat;
    }
    DWORD inQueue() { return queues().cbInQue; }

    HANDLE h_ = INVALID_HANDLE_VALUE;
    HANDLE claim_ = nullptr;
    HANDLE rxEvent_;  // the status wait saw bytes arrive
    std::atomic<quint32> errors_{0};
    // Each thread has its own operation: writer, reader, status.
    Overlapped write_;
    std::vector<char> buffer_;
    bool writePending_ = false;
    Overlapped read_;
    Overlapped event_;
    DWORD mask_ = 0;
    bool eventPending_ = false;
};

}  // namespace

std::unique_ptr<SerialDevice> createSerialDevice() {
    return std::make_unique<Win32SerialDevice>();
}

}  // namespace qev
