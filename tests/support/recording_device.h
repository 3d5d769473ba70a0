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

    // Behaviour. Errors are syserr numbers, 0 for none.
    std::atomic<int> openError{0};
    std::atomic<int> setStateError{0};
    std::atomic<int> readError{0};  // reads fail with it from now on
    std::atomic<bool> readRunsOutOfMemory{false};
    std::atomic<bool> stalled{false};  // writes take nothing, as on a line held by flow control
    // Writes take this many bytes in all (-1: no limit), then fail with writeError, or with
    // writeError 0 take nothing more, as a line that stalled part way.
    std::atomic<qint64> takeBytes{-1};
    std::atomic<int> writeError{0};
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

    int open(const QString& devicePath) override;
    bool isOpen() const override;
    void close() override;
    int setupQueues(int inSize, int outSize) override;
    int getState(LineSettings& settings) override;
    int setState(const LineSettings& settings) override;
    void setControlLine(ControlLine line, bool on) override;
    quint32 modemStatus() override;
    int write(const char* data, qint64 length, qint64& written) override;
    int read(char* data, qint64 length, qint64& got) override;
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
