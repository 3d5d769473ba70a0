#include "serial/dispatcher.h"

#include "ports/network_port.h"
#include "serial/network_device.h"
#include "serial/serial_errors.h"
#include "serial/serial_types.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace qev {

namespace {

constexpr quint32 kDispBufferSize = 8192;
constexpr std::size_t kMaxQueuedBlocks = 64;
constexpr int kStartTimeoutMs = 3000;
constexpr int kFlushTimeoutMs = 5000;

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TSerialDispatcher::DeviceFactory& deviceFactory() {
    static TSerialDispatcher::DeviceFactory factory;
    return factory;
}

std::unique_ptr<SerialDevice> makeDevice() {
    const auto& factory = deviceFactory();
    return factory ? factory() : createSerialDevice();
}

}  // namespace

int lineChangePauseMs(quint32 lastBaud, const LineSettings& settings) {
    if (lastBaud == 0)
        return 0;
    const quint64 bitTime = 10'000'000 / lastBaud;  // in 100 ns
    quint64 bits = settings.byteSize + 2;
    if (settings.parity != pNone)
        ++bits;
    if (settings.stopBits != 0)
        ++bits;
    quint64 total = bitTime * bits * 18;
    if (total < 10'000)
        total *= 2;
    return int((total + 9'999) / 10'000);
}

TBaseDispatcher::TBaseDispatcher(std::unique_ptr<SerialDevice> device)
    : device_(std::move(device)) {}

TBaseDispatcher::~TBaseDispatcher() {
    DonePort();
}

std::error_code TBaseDispatcher::OpenCom(const QString& AComName) {
    devicePath_ = AComName;
    if (portName_.isEmpty())
        portName_ = AComName;
    // A port behind a serial device server takes the network's device layer instead.
    if (choosesDevice_ && !device_->isOpen()) {
        const bool network = parseNetworkPort(AComName).has_value();
        if (network != networkDevice_) {
            device_ = network ? createNetworkDevice() : createSerialDevice();
            networkDevice_ = network;
        }
    }
    device_->setOpenCancelled(openCancelled_);
    return device_->open(devicePath_);
}

std::error_code TBaseDispatcher::InitPort(const QString& AComName, qint32 Baud, quint16 Parity,
                                          quint16 DataBits, quint16 StopBits, quint16 InSize,
                                          quint16 OutSize, quint32 FlowOpts) {
    if (device_->isOpen())
        return SerialErrc::device_busy;
    std::error_code result = OpenCom(AComName);
    if (result)
        return result;
    auto fail = [this](std::error_code code) {
        DonePort();
        return code;
    };
    if (const std::error_code err = device_->setupQueues(InSize, OutSize))
        return fail(err);
    inSize_ = InSize;
    outSize_ = OutSize == 0 ? 1 : OutSize;
    {
        std::lock_guard lock(OutputSection);
        OBuffer.assign(outSize_, 0);
        OBufHead = 0;
        writeFailure_ = {};
        lineErrors_ = 0;
        modemStatus_ = 0;
    }
    {
        std::lock_guard lock(DispSection);
        dispBuffer_.assign(kDispBufferSize, 0);
        dispUsed_ = 0;
    }
    writerStopped_ = false;
    killThreads_ = false;
    KillEvent.reset();
    WriterDone.reset();
    {
        std::lock_guard lock(DataSection);
        if (const std::error_code err = device_->getState(dcb_))
            return fail(err);
        DTRAuto = (FlowOpts & kFlowUseDtr) != 0;
        RTSAuto = (FlowOpts & kFlowUseRts) != 0;
        // Both lines are asserted as soon as the device is open, before any line setting.
        if (!DTRAuto) {
            DTRState = (FlowOpts & kFlowDtrOn) != 0;
            device_->setControlLine(ControlLine::Dtr, DTRState);
        }
        if (!RTSAuto) {
            RTSState = (FlowOpts & kFlowRtsOn) != 0;
            device_->setControlLine(ControlLine::Rts, RTSState);
        }
        modemStatus_ = device_->modemStatus();
        LastBaud = 115200;
    }
    result = SetLine(Baud, Parity, DataBits, StopBits);
    if (result)
        return fail(result);
    OutBuffUsed();
    result = startThreads();
    if (result)
        return fail(result);
    return {};
}

std::error_code TBaseDispatcher::SetLine(qint32 Baud, quint16 Parity, quint16 DataBits,
                                         quint16 StopBits) {
    LineSettings wanted;
    {
        std::lock_guard lock(DataSection);
        if (const std::error_code err = device_->getState(dcb_))
            return err;
        wanted = dcb_;
        wanted.binary = true;
        wanted.parityCheck = false;
        wanted.dsrSensitivity = false;
        wanted.txContinueOnXoff = true;
        wanted.nullStrip = false;
        if (Baud != 0)
            wanted.baud = quint32(Baud);
        if (Parity != 5)
            wanted.parity = quint8(Parity);
        if (DataBits != 9)
            wanted.byteSize = quint8(DataBits);
        if (StopBits != 3) {
            const quint16 stop = std::clamp<quint16>(StopBits, 1, 2);
            wanted.stopBits = stop == 1 ? 0 : 2;
            if (wanted.byteSize == 5 && wanted.stopBits == 2)
                wanted.stopBits = 1;
        }
        wanted.dtrEnable = DTRState;
        wanted.rtsEnable = RTSState;
        if (wanted == dcb_)
            return {};
    }
    // Let queued output leave at the old settings, then a pause of 18 characters for the
    // line itself, without holding the lock.
    for (int i = 0; i < 5000 && OutBuffUsed() > 0; ++i)
        sleepMs(2);
    int pause;
    {
        std::lock_guard lock(DataSection);
        if (const std::error_code err = device_->getState(dcb_))
            return err;
        pause = lineChangePauseMs(LastBaud, dcb_);
    }
    sleepMs(pause);
    std::lock_guard lock(DataSection);
    if (const std::error_code err = device_->getState(dcb_))
        return err;
    const bool dtr = dcb_.dtrEnable, rts = dcb_.rtsEnable;
    dcb_ = wanted;
    dcb_.dtrEnable = dtr;
    dcb_.rtsEnable = rts;
    return writeSettings();
}

std::error_code TBaseDispatcher::writeSettings() {
    dcb_.dtrEnable = DTRState;
    dcb_.rtsEnable = RTSState;
    if (const std::error_code err = device_->setState(dcb_))
        return err;
    LastBaud = dcb_.baud;
    device_->setControlLine(ControlLine::Dtr, DTRState);
    device_->setControlLine(ControlLine::Rts, RTSState);
    return {};
}

std::error_code TBaseDispatcher::SetHWFlowOptions(bool outxCts, bool outxDsr, quint16 bufferFull,
                                                  quint16 bufferResume) {
    std::lock_guard lock(DataSection);
    dcb_.outxCtsFlow = outxCts;
    dcb_.outxDsrFlow = outxDsr;
    dcb_.xoffLim = quint16(inSize_ - std::min(bufferFull, inSize_));
    dcb_.xonLim = bufferResume;
    return writeSettings();
}

std::error_code TBaseDispatcher::SetSWFlowOptions(bool outX, bool inX) {
    std::lock_guard lock(DataSection);
    dcb_.outX = outX;
    dcb_.inX = inX;
    return writeSettings();
}

std::error_code TBaseDispatcher::SetXOnChar(quint8 c) {
    std::lock_guard lock(DataSection);
    dcb_.xonChar = c;
    return writeSettings();
}

std::error_code TBaseDispatcher::SetXOffChar(quint8 c) {
    std::lock_guard lock(DataSection);
    dcb_.xoffChar = c;
    return writeSettings();
}

std::error_code TBaseDispatcher::SetDTR(bool on) {
    std::lock_guard lock(DataSection);
    DTRState = on;
    return writeSettings();
}

std::error_code TBaseDispatcher::SetRTS(bool on) {
    std::lock_guard lock(DataSection);
    RTSState = on;
    return writeSettings();
}

quint16 TBaseDispatcher::usedLocked() const {
    return quint16(OBufHead);
}

void TBaseDispatcher::refreshStatusLocked() {
    lineErrors_ |= device_->takeErrors() & 0x1F;
}

quint16 TBaseDispatcher::OutBuffUsed() {
    std::lock_guard lock(OutputSection);
    refreshStatusLocked();
    return usedLocked();
}

std::error_code TBaseDispatcher::PutBlock(const char* data, quint32 length) {
    return PutBlockAt(data, length, 0);
}

std::error_code TBaseDispatcher::PutBlockAt(const char* data, quint32 length, qint64 releaseAtNs) {
    if (length == 0)
        return {};
    std::lock_guard lock(OutputSection);
    // Nothing takes bytes out of a ring whose writer has ended: refuse rather than queue
    // bytes that would never drain.
    if (OBuffer.empty())
        return SerialErrc::comm_not_open;
    if (writerStopped_)
        return SerialErrc::write_failed;
    if (releaseAtNs != 0) {
        if (!timed_.bytes.isEmpty() || length > OBuffer.size())
            return SerialErrc::output_buffer_too_small;
        timed_ = {QByteArray(data, length), releaseAtNs};
    } else {
        const quint32 free = OBuffer.size() - OBufHead;
        if (free < length)
            return SerialErrc::output_buffer_too_small;
        std::memcpy(OBuffer.data() + OBufHead, data, length);
        OBufHead += length;
    }
    OutputEvent.set();
    return {};
}

qint64 TBaseDispatcher::UnsentBytes() {
    qint64 unsent = unwritten_.load();
    {
        std::lock_guard lock(OutputSection);
        unsent += OBufHead;
    }
    if (device_->isOpen())
        unsent += device_->outputQueued();
    return unsent;
}

TBaseDispatcher::WriteFailure TBaseDispatcher::writeFailure() const {
    std::lock_guard lock(OutputSection);
    return writeFailure_;
}

QByteArray TBaseDispatcher::takeOutput() {
    std::lock_guard lock(OutputSection);
    QByteArray out(OBuffer.data(), OBufHead);
    // Counted on from here, so that bytes leaving the ring never look sent on the way.
    unwritten_ += OBufHead;
    OBufHead = 0;
    return out;
}

TBaseDispatcher::Timed TBaseDispatcher::takeTimed() {
    std::lock_guard lock(OutputSection);
    return std::exchange(timed_, {});
}

void TBaseDispatcher::discardOutput() {
    std::lock_guard lock(OutputSection);
    OBufHead = 0;
    timed_ = {};
}

void TBaseDispatcher::FlushOutBuffer() {
    discardOutput();
    if (!device_->isOpen())
        return;
    device_->purgeOutput();
    if (writeThread_ && !WriterDone.isSet()) {
        OutFlushEvent.set();
        // The writer acknowledges, or ends; neither takes long.
        Event::waitAny({&GeneralEvent, &WriterDone}, kFlushTimeoutMs);
    }
}

void TBaseDispatcher::FlushInBuffer() {
    if (device_->isOpen())
        device_->purgeInput();
    std::lock_guard disp(DispSection);
    std::lock_guard queue(queueLock_);
    receivedBlocks_.clear();
    dispUsed_ = 0;
}

void TBaseDispatcher::DonePort() {
    if (device_->isOpen()) {
        FlushOutBuffer();
        FlushInBuffer();
        CloseCom();
    }
    freeBuffers();
}

void TBaseDispatcher::freeBuffers() {
    {
        std::lock_guard lock(OutputSection);
        OBuffer.clear();
        OBufHead = 0;
    }
    std::lock_guard lock(DispSection);
    dispBuffer_.clear();
    dispUsed_ = 0;
}

void TBaseDispatcher::CloseCom() {
    if (CloseComActive)
        return;
    CloseComActive = true;
    if (DispActive)
        stopThreads();
    // Output the threads left in the driver is discarded, never drained: a close that
    // waited for it could hang on a stalled line.
    if (device_->isOpen())
        device_->purgeOutput();
    device_->close();
    CloseComActive = false;
}

void TBaseDispatcher::requestKill() {
    killThreads_ = true;
    KillEvent.set();
}

std::error_code TBaseDispatcher::startThreads() {
    std::lock_guard lock(DataSection);
    GeneralEvent.reset();
    DispActive = true;
    auto launch = [this](TDispatcherThread& thread) {
        thread.start();
        return GeneralEvent.wait(kStartTimeoutMs);
    };
    readThread_ = std::make_unique<TReadThread>(*this);
    bool ok = launch(*readThread_);
    if (ok) {
        dispThread_ = std::make_unique<TDispThread>(*this);
        ok = launch(*dispThread_);
    }
    if (ok) {
        writeThread_ = std::make_unique<TWriteThread>(*this);
        ok = launch(*writeThread_);
    }
    if (ok) {
        statusThread_ = std::make_unique<TStatusThread>(*this);
        ok = launch(*statusThread_);
    }
    return ok ? std::error_code() : SerialErrc::threads_not_started;
}

namespace {

// Joins before destroying: the thread still runs the object's virtual Execute.
template <typename T>
void finish(std::unique_ptr<T>& thread) {
    if (thread) {
        thread->join();
        thread.reset();
    }
}

}  // namespace

void TBaseDispatcher::stopThreads() {
    requestKill();
    ReadyEvent.set();
    finish(statusThread_);
    OutFlushEvent.set();
    finish(writeThread_);
    SerialEvent.set();
    GeneralEvent.reset();
    finish(readThread_);
    ComEvent.set();
    finish(dispThread_);
    DispActive = false;
}

void TBaseDispatcher::threadStarted(const TDispatcherThread&) {
    activeThreads_.fetch_add(1);
    GeneralEvent.set();
}

void TBaseDispatcher::threadEnded(TDispatcherThread& thread, std::error_code result) {
    if (dynamic_cast<TWriteThread*>(&thread)) {
        writerStopped_ = true;
        discardOutput();
        WriterDone.set();
    }
    if (result)
        requestKill();
    activeThreads_.fetch_sub(1);
    if (result && errorHandler_) {
        ThreadFailure failure;
        const WriteFailure write = writeFailure();
        if (result == SerialErrc::write_failed && write.error)
            failure.detail =
                writeFailureDetail(portName_, devicePath_, write.written, write.size, write.error);
        else if (result == SerialErrc::connection_closed)
            failure.detail = QStringLiteral("%1 (%2): a message sent meanwhile did not leave whole")
                                 .arg(portName_, deviceName(devicePath_));
        else
            failure.detail = QStringLiteral("%1 (%2)").arg(portName_, deviceName(devicePath_));
        try {
            raiseThreadError(result);
        } catch (const Exception& e) {
            failure.className = exceptionClassName(e);
            failure.message = e.message();
            errorHandler_(failure);
        }
    }
}

void TBaseDispatcher::queueReceived(const char* data, qint64 length) {
    received_.fetch_add(quint64(length));
    {
        std::lock_guard lock(queueLock_);
        // Nobody reads received data: past a bound it is dropped, never waited for.
        if (receivedBlocks_.size() >= kMaxQueuedBlocks)
            return;
        receivedBlocks_.emplace_back(data, length);
    }
    QueueEvent.set();
}

void TBaseDispatcher::dispatchReceived() {
    std::lock_guard disp(DispSection);
    std::lock_guard queue(queueLock_);
    while (!receivedBlocks_.empty() && dispUsed_ < dispBuffer_.size()) {
        QByteArray& block = receivedBlocks_.front();
        const quint32 room = dispBuffer_.size() - dispUsed_;
        const quint32 n = std::min<quint32>(room, block.size());
        std::memcpy(dispBuffer_.data() + dispUsed_, block.constData(), n);
        dispUsed_ += n;
        if (n == quint32(block.size()))
            receivedBlocks_.pop_front();
        else
            block.remove(0, n);
    }
}

TSerialDispatcher::TSerialDispatcher() : TBaseDispatcher(makeDevice()) {
    choosesDevice_ = !deviceFactory();
}

TSerialDispatcher::DeviceFactory TSerialDispatcher::setDeviceFactory(DeviceFactory factory) {
    return std::exchange(deviceFactory(), std::move(factory));
}

TSerialDispatcher::~TSerialDispatcher() = default;

}  // namespace qev
