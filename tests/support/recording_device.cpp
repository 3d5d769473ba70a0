#include "recording_device.h"

#include <algorithm>
#include <new>
#include <thread>

namespace qev::test {

namespace {

WaitResult waitFor(std::initializer_list<Event*> wake, int timeoutMs) {
    const int fired = Event::waitAny(wake, timeoutMs);
    if (fired < 0)
        return {WaitResult::TimedOut, -1};
    return {WaitResult::Woken, fired};
}

}  // namespace

LineSettings DeviceRecord::driverDefaults() {
    // A driver left in a state that is nothing like the clock's: every field must be written.
    LineSettings s;
    s.baud = 9600;
    s.byteSize = 7;
    s.parity = 2;
    s.stopBits = 2;
    s.binary = false;
    s.parityCheck = true;
    s.dsrSensitivity = true;
    s.txContinueOnXoff = false;
    s.nullStrip = true;
    s.outxCtsFlow = true;
    s.outX = true;
    s.dtrEnable = false;
    s.rtsEnable = false;
    s.xonChar = 1;
    s.xoffChar = 2;
    s.xonLim = 77;
    s.xoffLim = 1234;
    return s;
}

void DeviceRecord::add(const QString& what) {
    std::lock_guard guard(lock_);
    calls_.push_back({what, Clock::now()});
}

std::vector<DeviceRecord::Call> DeviceRecord::calls() const {
    std::lock_guard guard(lock_);
    return calls_;
}

QStringList DeviceRecord::names() const {
    QStringList names;
    for (const Call& c : calls())
        names << c.what;
    return names;
}

std::vector<LineSettings> DeviceRecord::written() const {
    std::lock_guard guard(lock_);
    return written_;
}

QByteArray DeviceRecord::bytesWritten() const {
    std::lock_guard guard(lock_);
    return bytes_;
}

void DeviceRecord::clear() {
    std::lock_guard guard(lock_);
    calls_.clear();
    written_.clear();
    bytes_.clear();
}

RecordingDevice::RecordingDevice(std::shared_ptr<DeviceRecord> record)
    : record_(std::move(record)) {
    std::lock_guard guard(record_->lock_);
    state_ = record_->initial;
}

std::error_code RecordingDevice::open(const QString& devicePath) {
    record_->add(QStringLiteral("open ") + devicePath);
    if (const std::error_code err = record_->openError.get())
        return err;
    open_ = true;
    return {};
}

bool RecordingDevice::isOpen() const {
    return open_;
}

void RecordingDevice::close() {
    if (open_.exchange(false))
        record_->add(QStringLiteral("close"));
}

std::error_code RecordingDevice::setupQueues(int inSize, int outSize) {
    record_->add(QStringLiteral("setupQueues %1 %2").arg(inSize).arg(outSize));
    return {};
}

std::error_code RecordingDevice::getState(LineSettings& settings) {
    record_->add(QStringLiteral("getState"));
    std::lock_guard guard(record_->lock_);
    settings = state_;
    return {};
}

std::error_code RecordingDevice::setState(const LineSettings& settings) {
    record_->add(QStringLiteral("setState"));
    if (const std::error_code err = record_->setStateError.get())
        return err;
    std::lock_guard guard(record_->lock_);
    state_ = settings;
    record_->written_.push_back(settings);
    return {};
}

void RecordingDevice::setControlLine(ControlLine line, bool on) {
    record_->add(
        QStringLiteral("%1 %2").arg(line == ControlLine::Dtr ? "DTR" : "RTS", on ? "on" : "off"));
}

quint32 RecordingDevice::modemStatus() {
    record_->add(QStringLiteral("modemStatus"));
    return 0;
}

std::error_code RecordingDevice::write(const char* data, qint64 length, qint64& written) {
    written = 0;
    if (record_->stalled)
        return {};  // pending: nothing taken
    if (const qint64 limit = record_->takeBytes.load(); limit >= 0) {
        std::lock_guard guard(record_->lock_);
        const qint64 room = limit - record_->bytes_.size();
        if (room <= 0)
            return record_->writeError.get();  // failed, or pending for good
        length = std::min(length, room);       // a short write; the next one fails
    }
    record_->add(QStringLiteral("write ") + QString::fromLatin1(QByteArray(data, length).toHex()));
    std::lock_guard guard(record_->lock_);
    record_->bytes_.append(data, length);
    written = length;
    return {};
}

std::error_code RecordingDevice::read(char*, qint64, qint64& got) {
    got = 0;
    if (record_->readRunsOutOfMemory)
        throw std::bad_alloc();
    return record_->readError.get();
}

WaitResult RecordingDevice::waitWritable(int timeoutMs, std::initializer_list<Event*> wake) {
    if (!record_->stalled && (record_->takeBytes < 0 || record_->writeError))
        return {WaitResult::Ready, -1};
    return waitFor(wake, std::min(timeoutMs, 10));
}

WaitResult RecordingDevice::waitReadable(int timeoutMs, std::initializer_list<Event*> wake) {
    // Nothing ever arrives; a failing read is offered as soon as one is set up.
    if (record_->readError || record_->readRunsOutOfMemory)
        return {WaitResult::Ready, -1};
    return waitFor(wake, std::min(timeoutMs, 10));
}

WaitResult RecordingDevice::waitLineEvent(int timeoutMs, std::initializer_list<Event*> wake) {
    return waitFor(wake, timeoutMs);
}

void RecordingDevice::purgeOutput() {
    record_->add(QStringLiteral("purgeOutput"));
}

void RecordingDevice::purgeInput() {
    record_->add(QStringLiteral("purgeInput"));
}

ThreadErrorHandler ThreadReports::handler() {
    return [this](const ThreadFailure& failure) {
        std::lock_guard guard(lock_);
        seen_.push_back(failure);
    };
}

std::vector<ThreadFailure> ThreadReports::wait(std::size_t n, int ms) const {
    for (int i = 0; i < ms; ++i) {
        {
            std::lock_guard guard(lock_);
            if (seen_.size() >= n)
                return seen_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard guard(lock_);
    return seen_;
}

RecordingDevices::RecordingDevices() {
    previous_ = TSerialDispatcher::setDeviceFactory(
        [record = record_] { return std::make_unique<RecordingDevice>(record); });
}

RecordingDevices::~RecordingDevices() {
    TSerialDispatcher::setDeviceFactory(std::move(previous_));
}

}  // namespace qev::test
