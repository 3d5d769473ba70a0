#pragma once
// Test support: a device layer that records the calls the worker makes, in order, and fails
// or stalls where a test says so. Every device the port component creates while a
// RecordingDevices object lives is one of these, all sharing one record.

#include "serial/dispatcher.h"
#include "serial/serial_device.h"

#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace qev::test {

// A failure a device is told to report: set by the test, read by the worker's threads.
class Failure {
public:
    Failure& operator=(std::error_code code) {
        std::lock_guard guard(lock_);
        code_ = code;
        return *this;
    }
    Failure& operator=(SerialErrc e) { return *this = make_error_code(e); }
    std::error_code get() const {
        std::lock_guard guard(lock_);
        return code_;
    }
    explicit operator bool() const { return bool(get()); }

private:
    mutable std::mutex lock_;
    std::error_code code_;
};

// What the devices did and how they behave; shared by the worker's threads, so locked.
class DeviceRecord {
public:
    using Clock = std::chrono::steady_clock;
    struct Call {
        QString what;  // "open <path>", "setState", "DTR on", "write <hex>", "purgeOutput", ...
        Clock::time_point at;
    };

    void add(const QString& what);
    std::vector<Call> calls() const;
    QStringList names() const;  // the calls' texts only
    std::vector<LineSettings> written() const;
    QByteArray bytesWritten() const;
    void clear();

    // Behaviour: the failures to report, none by default.
    Failure openError;
    Failure setStateError;
    Failure readError;  // reads fail with it from now on
    std::atomic<bool> readRunsOutOfMemory{false};
    std::atomic<bool> stalled{false};  // writes take nothing, as on a line held by flow control
    // Writes take this many bytes in all (-1: no limit), then fail with writeError, or without
    // one take nothing more, as a line that stalled part way.
    std::atomic<qint64> takeBytes{-1};
    Failure writeError;
    // It stands for a pseudo-terminal: what it takes is not known to have left.
    std::atomic<bool> pseudoTerminal{false};
    // What the driver reports before the first write of the settings.
    LineSettings initial = driverDefaults();

    static LineSettings driverDefaults();

private:
    friend class RecordingDevice;
    mutable std::mutex lock_;
    std::vector<Call> calls_;
    std::vector<LineSettings> written_;
    QByteArray bytes_;
};

class RecordingDevice : public SerialDevice {
public:
    explicit RecordingDevice(std::shared_ptr<DeviceRecord> record);

    std::error_code open(const QString& devicePath) override;
    bool isOpen() const override;
    void close() override;
    std::error_code setupQueues(int inSize, int outSize) override;
    std::error_code getState(LineSettings& settings) override;
    std::error_code setState(const LineSettings& settings) override;
    void setControlLine(ControlLine line, bool on) override;
    quint32 modemStatus() override;
    std::error_code write(const char* data, qint64 length, qint64& written) override;
    std::error_code read(char* data, qint64 length, qint64& got) override;
    WaitResult waitWritable(int timeoutMs, std::initializer_list<Event*> wake) override;
    WaitResult waitReadable(int timeoutMs, std::initializer_list<Event*> wake) override;
    WaitResult waitLineEvent(int timeoutMs, std::initializer_list<Event*> wake) override;
    qint64 outputQueued() override { return 0; }
    bool deliveryKnown() const override { return !record_->pseudoTerminal; }
    void purgeOutput() override;
    void purgeInput() override;
    quint32 takeErrors() override { return 0; }

private:
    std::shared_ptr<DeviceRecord> record_;
    std::atomic<bool> open_{false};
    LineSettings state_;  // the driver's settings, under the record's lock
};

// What tests read of a worker besides its operations: its threads, its device, what it took in.
struct WorkerProbe {
    static int activeThreads(const TBaseDispatcher& w) { return w.activeThreads_.load(); }
    static bool deviceOpen(const TBaseDispatcher& w) { return w.device_->isOpen(); }
    static quint64 receivedBytes(const TBaseDispatcher& w) { return w.received_.load(); }
};

// Records worker-thread failures, as the window's marshalling would.
class ThreadReports {
public:
    ThreadErrorHandler handler();
    // The failures so far, once there are n of them or after ms.
    std::vector<ThreadFailure> wait(std::size_t n, int ms = 2000) const;

private:
    mutable std::mutex lock_;
    std::vector<ThreadFailure> seen_;
};

// Puts RecordingDevices behind every worker for the object's lifetime.
class RecordingDevices {
public:
    RecordingDevices();
    ~RecordingDevices();
    RecordingDevices(const RecordingDevices&) = delete;
    RecordingDevices& operator=(const RecordingDevices&) = delete;

    DeviceRecord& record() { return *record_; }
    std::shared_ptr<DeviceRecord> shared() const { return record_; }

private:
    std::shared_ptr<DeviceRecord> record_ = std::make_shared<DeviceRecord>();
    TSerialDispatcher::DeviceFactory previous_;
};

}  // namespace qev::test
