#pragma once
// The worker behind an open port: the device handle, its line settings and control lines,
// the output ring, the received-data queues and four threads (reader, dispatcher, writer,
// status). Operations that can fail return an error code (serial_error_code.h), empty on
// success. The threads are the worker's
// own (dispatcher_threads.cpp holds their loops), so they are declared here with it.

#include "serial/event.h"
#include "serial/serial_device.h"
#include "serial/serial_errors.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qev {

namespace test {
struct WorkerProbe;  // what tests read of a worker besides its operations
}

class TReadThread;
class TWriteThread;
class TStatusThread;
class TDispThread;
class TDispatcherThread;

// The pause a line change makes for the line itself: 18 characters of the given settings at
// lastBaud, in whole milliseconds rounded up (doubled when under 1 ms).
int lineChangePauseMs(quint32 lastBaud, const LineSettings& settings);

class TBaseDispatcher {
public:
    explicit TBaseDispatcher(std::unique_ptr<SerialDevice> device);
    virtual ~TBaseDispatcher();
    TBaseDispatcher(const TBaseDispatcher&) = delete;
    TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

    void setThreadErrorHandler(ThreadErrorHandler handler) { errorHandler_ = std::move(handler); }
    // How messages name the port ("COM3"); the device path when none is given.
    void setPortName(QString name) { portName_ = std::move(name); }
    // Asked while a network port connects: true gives up (SerialErrc::open_cancelled).
    void setOpenCancelled(std::function<bool()> cancelled) {
        openCancelled_ = std::move(cancelled);
    }
    // The device layer's words for the last failure, where it has any (what a server said).
    QString failureReason() const { return device_->failureReason(); }

    // AComName: the device, as the naming of ports resolved it. FlowOpts: bit 0 DTR on, bit 1
    // RTS on, bit 4 DTR by handshake, bit 5 RTS by handshake.
    std::error_code InitPort(const QString& AComName, qint32 Baud, quint16 Parity, quint16 DataBits,
                             quint16 StopBits, quint16 InSize, quint16 OutSize, quint32 FlowOpts);
    // 0 for rate, 5 for parity, 9 for data bits, 3 for stop bits keep the current value.
    std::error_code SetLine(qint32 Baud, quint16 Parity, quint16 DataBits, quint16 StopBits);
    // Queues all of the bytes or, when they do not fit the free part of the ring, none
    // (output_buffer_too_small).
    std::error_code PutBlock(const char* data, quint32 length);
    // The same, and the writer puts them on the line no earlier than releaseAtNs of the
    // computer's clock (holding them two seconds at most). They wait beside the ring, not in
    // it: OutBuffUsed does not count them, and bytes queued before or during the hold are
    // written at once. One such block waits at a time; another is refused meanwhile.
    std::error_code PutBlockAt(const char* data, quint32 length, qint64 releaseAtNs);
    // Blocks queued with PutBlockAt that the writer has put on the line.
    quint32 releasedBlocks() const { return releasedBlocks_.load(); }
    quint16 OutBuffUsed();
    // Bytes due on the line that are not there yet: those in the ring, those the writer has
    // taken and the driver has not accepted (a line that takes nothing keeps them there), and
    // those in the driver's queue. A timed block still held for its instant does not count.
    qint64 UnsentBytes();
    // Whether the writer still runs: after a write failure nothing more leaves.
    bool writerRunning() const { return !writerStopped_.load(); }
    // The write that failed, if one did: the device layer's error, and how far the block it
    // was writing (one message, as the send cycle queues them) had got.
    struct WriteFailure {
        std::error_code error;
        qint64 written = 0;
        qint64 size = 0;
    };
    WriteFailure writeFailure() const;
    // Whether bytes the driver has taken are known to have left (not on a pseudo-terminal).
    bool deliveryKnown() const { return device_->deliveryKnown(); }
    void FlushOutBuffer();
    void FlushInBuffer();
    // Discards queued output and input, stops the threads, closes the device.
    void DonePort();
    std::error_code OpenCom(const QString& AComName);
    void CloseCom();

    // Writes of the device settings an open makes after InitPort.
    std::error_code SetHWFlowOptions(bool outxCts, bool outxDsr, quint16 bufferFull,
                                     quint16 bufferResume);
    std::error_code SetSWFlowOptions(bool outX, bool inX);
    std::error_code SetXOnChar(quint8 c);
    std::error_code SetXOffChar(quint8 c);
    std::error_code SetDTR(bool on);
    std::error_code SetRTS(bool on);

    bool KillThreads() const { return killThreads_.load(); }
    // The device path of the last OpenCom, for messages.
    const QString& devicePath() const { return devicePath_; }

protected:
    // Whether OpenCom picks the device layer by the path (a server's address or a device): not
    // where a test gave the worker a device of its own.
    bool choosesDevice_ = false;

    SerialDevice& device() { return *device_; }
    const SerialDevice& device() const { return *device_; }
    // A thread's first act, on that thread: counts it and releases the opener, which waits
    // for it before creating the next one.
    virtual void threadStarted(const TDispatcherThread& thread);

private:
    friend struct test::WorkerProbe;
    friend class TDispatcherThread;
    friend class TReadThread;
    friend class TWriteThread;
    friend class TStatusThread;
    friend class TDispThread;

    quint16 usedLocked() const;  // needs OutputSection
    void refreshStatusLocked();  // needs OutputSection
    struct Timed {
        QByteArray bytes;
        qint64 releaseAtNs = 0;
    };
    QByteArray takeOutput();  // the writer's take: everything in the ring, ring reset
    Timed takeTimed();        // the writer's take of the timed block, if there is one
    void discardOutput();
    std::error_code writeSettings();  // needs DataSection
    std::error_code startThreads();
    void stopThreads();
    void freeBuffers();
    void requestKill();
    void threadEnded(TDispatcherThread& thread, std::error_code result);
    void queueReceived(const char* data, qint64 length);
    void dispatchReceived();

    std::unique_ptr<SerialDevice> device_;
    std::function<bool()> openCancelled_;
    bool networkDevice_ = false;
    ThreadErrorHandler errorHandler_;
    QString portName_;  // as the port is named in messages: "COM3"
    QString devicePath_;

    mutable std::mutex DataSection;    // line settings, control lines, thread bookkeeping
    mutable std::mutex OutputSection;  // output ring and status refresh
    std::mutex DispSection;            // dispatch ring

    // Line settings and control lines, under DataSection.
    LineSettings dcb_;
    quint32 LastBaud = 115200;
    bool DTRState = true;
    bool RTSState = true;
    bool DTRAuto = false;
    bool RTSAuto = false;
    quint16 inSize_ = 4096;
    quint16 outSize_ = 4096;

    // The output ring and the last status, under OutputSection. The writer takes the whole
    // ring at once, so the oldest byte is always at index 0: OBufHead is both where the next
    // byte goes and the count of bytes queued, and the ring is full at OBuffer.size().
    std::vector<char> OBuffer;
    quint32 OBufHead = 0;
    Timed timed_;  // the block PutBlockAt holds back, until the writer takes it
    WriteFailure writeFailure_;
    quint32 lineErrors_ = 0;
    quint32 modemStatus_ = 0;

    // Received data: blocks from the reader, moved by the dispatcher into its ring.
    std::mutex queueLock_;
    std::deque<QByteArray> receivedBlocks_;
    std::vector<char> dispBuffer_;  // under DispSection
    quint32 dispUsed_ = 0;
    std::atomic<quint64> received_{0};

    Event GeneralEvent{Event::Auto};   // a thread started; the writer acknowledged a flush
    Event OutputEvent{Event::Auto};    // bytes wait in the ring
    Event OutFlushEvent{Event::Auto};  // the writer drops what it is writing
    Event ComEvent{Event::Auto};       // releases the dispatcher at close
    Event ReadyEvent{Event::Auto};     // releases the status thread at close
    Event SerialEvent{Event::Auto};    // wakes the reader
    Event QueueEvent{Event::Auto};     // a received block waits for the dispatcher
    Event KillEvent{Event::Manual};    // set with KillThreads: every wait ends at once
    Event WriterDone{Event::Manual};   // the writer has ended

    std::unique_ptr<TReadThread> readThread_;
    std::unique_ptr<TDispThread> dispThread_;
    std::unique_ptr<TWriteThread> writeThread_;
    std::unique_ptr<TStatusThread> statusThread_;
    std::atomic<int> activeThreads_{0};
    std::atomic<bool> killThreads_{false};
    std::atomic<bool> writerStopped_{false};
    std::atomic<quint32> releasedBlocks_{0};
    std::atomic<qint64> unwritten_{0};  // taken by the writer, due, not accepted by the driver
    bool DispActive = false;            // the threads were started (UI thread only)
    bool CloseComActive = false;        // (UI thread only)
};

// The serial flavour of the worker, on this platform's device layer.
class TSerialDispatcher : public TBaseDispatcher {
public:
    TSerialDispatcher();
    ~TSerialDispatcher() override;

    // Makes the device of every worker created from now on (an empty one: this platform's
    // layer); returns the one it replaces. Workers are created on the user-interface thread
    // only, which is the only thread that may call this. It lets tests put a recording device
    // behind the port component.
    using DeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;
    static DeviceFactory setDeviceFactory(DeviceFactory factory);
};

// The worker's four threads. Each announces itself on start, runs until the worker's
// KillThreads, and reports its failure through the worker when it ends.
class TDispatcherThread {
public:
    explicit TDispatcherThread(TBaseDispatcher& owner) : owner_(owner) {}
    virtual ~TDispatcherThread();  // joins
    TDispatcherThread(const TDispatcherThread&) = delete;
    TDispatcherThread& operator=(const TDispatcherThread&) = delete;

    void start();
    void join();
    virtual const char* name() const = 0;

protected:
    // The thread's work; returns its failure, empty when it ended as asked.
    virtual std::error_code Execute() = 0;
    TBaseDispatcher& owner_;

private:
    void run();
    std::thread thread_;
};

// The threads that talk to the device.
class TSerialThread : public TDispatcherThread {
public:
    using TDispatcherThread::TDispatcherThread;
};

class TReadThread final : public TSerialThread {
public:
    using TSerialThread::TSerialThread;
    const char* name() const override { return "TReadThread"; }

protected:
    std::error_code Execute() override;
};

class TWriteThread final : public TSerialThread {
public:
    using TSerialThread::TSerialThread;
    const char* name() const override { return "TWriteThread"; }

protected:
    std::error_code Execute() override;

private:
    enum class Outcome { Done, Flushed, Stop, Failed };
    Outcome holdUntil(qint64 releaseAtNs);
    Outcome writeBlock(const QByteArray& block);
};

class TStatusThread final : public TSerialThread {
public:
    using TSerialThread::TSerialThread;
    const char* name() const override { return "TStatusThread"; }

protected:
    std::error_code Execute() override;
};

class TDispThread final : public TDispatcherThread {
public:
    using TDispatcherThread::TDispatcherThread;
    const char* name() const override { return "TDispThread"; }

protected:
    std::error_code Execute() override;
};

}  // namespace qev
