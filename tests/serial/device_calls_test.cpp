// What the worker asks of the device layer, and when: checked on a recording device.

#include "pty_pair.h"
#include "recording_device.h"
#include "scoped_config.h"

#include "ports/device_naming.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/serial_errors.h"
#include "serial/transmission.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace qev {
namespace {

using test::DeviceRecord;
using test::RecordingDevice;
using test::RecordingDevices;
using test::ThreadReports;
using test::WorkerProbe;

qsizetype firstIndex(const QStringList& calls, const QString& what) {
    return calls.indexOf(what);
}

qsizetype firstStarting(const QStringList& calls, const QString& prefix) {
    for (qsizetype i = 0; i < calls.size(); ++i) {
        if (calls[i].startsWith(prefix))
            return i;
    }
    return -1;
}

qsizetype lastStarting(const QStringList& calls, const QString& prefix) {
    for (qsizetype i = calls.size() - 1; i >= 0; --i) {
        if (calls[i].startsWith(prefix))
            return i;
    }
    return -1;
}

// The line settings every open must leave on the device.
LineSettings clockLine() {
    LineSettings s;
    s.baud = 4800;
    s.byteSize = 8;
    s.parity = 0;
    s.stopBits = 0;
    s.binary = true;
    s.parityCheck = false;
    s.outxCtsFlow = s.outxDsrFlow = false;
    s.dsrSensitivity = false;
    s.txContinueOnXoff = true;
    s.outX = s.inX = false;
    s.nullStrip = false;
    s.dtrEnable = s.rtsEnable = true;
    s.xonChar = 17;
    s.xoffChar = 19;
    s.xonLim = 0;
    s.xoffLim = 4096;
    return s;
}

class DeviceCalls : public ::testing::Test {
protected:
    DeviceCalls() {
        port.setBaud(4800);
        port.setAutoOpen(false);
    }

    test::ScopedConfig links;  // COM<n> resolves the same way on every machine
    RecordingDevices devices;
    DeviceRecord& record = devices.record();
    TComPort port;
};

TEST_F(DeviceCalls, SendCycleDrivesTheDeviceInOrder) {
    const QByteArray message(
        "\x02"
        "12\0"
        "00\x03",
        7);
    transmit(port, 0, message, [] {});
    const QStringList calls = record.names();

    ASSERT_FALSE(calls.isEmpty());
    EXPECT_EQ(calls.front(), QStringLiteral("open ") + resolveDeviceName(comDeviceName(1)));
    EXPECT_EQ(calls.count(QStringLiteral("close")), 1);
    EXPECT_EQ(calls.back(), QStringLiteral("close"));

    // The queues are sized, then both control lines asserted, before any line setting.
    const qsizetype queues = firstIndex(calls, QStringLiteral("setupQueues 4096 4096"));
    const qsizetype dtr = firstIndex(calls, QStringLiteral("DTR on"));
    const qsizetype rts = firstIndex(calls, QStringLiteral("RTS on"));
    const qsizetype firstSet = firstIndex(calls, QStringLiteral("setState"));
    ASSERT_GE(queues, 1);
    EXPECT_LT(queues, dtr);
    EXPECT_LT(dtr, rts);
    EXPECT_LT(rts, firstSet);
    // The lines stay asserted until the handle is closed: nothing ever drops them.
    EXPECT_EQ(firstStarting(calls, QStringLiteral("DTR off")), -1);
    EXPECT_EQ(firstStarting(calls, QStringLiteral("RTS off")), -1);

    // Every write of the settings leaves the clock's line; the message follows the last one.
    const std::vector<LineSettings> written = record.written();
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back(), clockLine());
    // The first write already carries the rate and format.
    EXPECT_EQ(written.front().baud, 4800u);
    EXPECT_EQ(written.front().byteSize, 8);
    EXPECT_EQ(written.front().parity, 0);
    EXPECT_EQ(written.front().stopBits, 0);
    const qsizetype firstWrite = firstStarting(calls, QStringLiteral("write "));
    ASSERT_GE(firstWrite, 0);
    EXPECT_GT(firstWrite, lastStarting(calls, QStringLiteral("setState")));
    EXPECT_EQ(record.bytesWritten().toHex(), message.toHex());

    // The close discards what is left, in and out, before the handle goes.
    const qsizetype purgeOut = lastStarting(calls, QStringLiteral("purgeOutput"));
    const qsizetype purgeIn = lastStarting(calls, QStringLiteral("purgeInput"));
    EXPECT_GT(purgeOut, lastStarting(calls, QStringLiteral("write ")));
    EXPECT_GT(purgeIn, firstWrite);
    EXPECT_LT(purgeOut, calls.size() - 1);
    EXPECT_LT(purgeIn, calls.size() - 1);

    // The message had its 500 ms on the line before the purge.
    const auto times = record.calls();
    EXPECT_GE(times[purgeOut].at - times[lastStarting(calls, QStringLiteral("write "))].at, 490ms);
}

TEST_F(DeviceCalls, FailedOpenStepsLeaveNothingOpen) {
    record.openError = SerialErrc::device_missing;
    EXPECT_THROW(transmit(port, 0, "x", [] {}), EBadId);
    EXPECT_EQ(record.names(),
              QStringList{QStringLiteral("open ") + resolveDeviceName(comDeviceName(1))});

    record.clear();
    record.openError = std::error_code();
    record.setStateError = systemError(EINVAL);
    EXPECT_THROW(transmit(port, 0, "x", [] {}), ESerialException);
    const QStringList calls = record.names();
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(calls.back(), QStringLiteral("close"));
    EXPECT_EQ(firstStarting(calls, QStringLiteral("write ")), -1);
}

TEST_F(DeviceCalls, PromptOffersPresentPortsUpToFifty) {
    const test::PtyPair line;
    for (int n = 1; n <= 51; ++n)
        links.link(n, line.slavePath());
    const QStringList names = presentPortNames();
    ASSERT_EQ(names.size(), 50);
    EXPECT_EQ(names.front(), QStringLiteral("COM1"));
    EXPECT_EQ(names.back(), QStringLiteral("COM50"));

    // Only high numbers present: nothing to offer.
    links.linkNoPorts();
    EXPECT_TRUE(presentPortNames().isEmpty());
}

class AnswersOk : public PortPrompt {
public:
    int exec(const QStringList& items, QString& selectedText) override {
        offered = items;
        selectedText = items.value(0);
        return Ok;
    }
    QStringList offered;
};

TEST_F(DeviceCalls, NoPortToChooseIsReportedWithTheLinkFolder) {
    links.linkNoPorts();
    AnswersOk prompt;
    port.setPortPrompt(&prompt);
    try {
        transmit(port, -1, "x", [] {});
        FAIL() << "sent with no port";
    } catch (const ENoPortFound& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("No serial port was found. Connect the clock's adapter, or link "
                                 "a device as %1/QEV/ports/COMn")
                      .arg(links.path()));
    }
    EXPECT_TRUE(prompt.offered.isEmpty());
    EXPECT_TRUE(record.names().isEmpty()) << "a device was opened";
}

// Records each thread's announcement; the reader announces late.
class StartWatcher : public TBaseDispatcher {
public:
    explicit StartWatcher(std::shared_ptr<DeviceRecord> record)
        : TBaseDispatcher(std::make_unique<RecordingDevice>(std::move(record))) {}
    ~StartWatcher() override { DonePort(); }

    std::vector<std::pair<QString, int>> starts() {
        std::lock_guard guard(lock_);
        return starts_;
    }

protected:
    void threadStarted(const TDispatcherThread& thread) override {
        const QString name = QString::fromLatin1(thread.name());
        if (name == QStringLiteral("TReadThread"))
            std::this_thread::sleep_for(60ms);
        {
            std::lock_guard guard(lock_);
            starts_.emplace_back(name, WorkerProbe::activeThreads(*this));
        }
        TBaseDispatcher::threadStarted(thread);
    }

private:
    std::mutex lock_;
    std::vector<std::pair<QString, int>> starts_;
};

TEST(WorkerThreads, StartOneAtATimeInOrder) {
    StartWatcher worker(std::make_shared<DeviceRecord>());
    ASSERT_FALSE(worker.InitPort(QStringLiteral("COM1"), 4800, 0, 8, 1, 4096, 4096, 3));
    EXPECT_EQ(WorkerProbe::activeThreads(worker), 4);
    // Each thread is created only once the one before has announced itself.
    const std::vector<std::pair<QString, int>> expected = {{QStringLiteral("TReadThread"), 0},
                                                           {QStringLiteral("TDispThread"), 1},
                                                           {QStringLiteral("TWriteThread"), 2},
                                                           {QStringLiteral("TStatusThread"), 3}};
    EXPECT_EQ(worker.starts(), expected);
    worker.DonePort();
    EXPECT_EQ(WorkerProbe::activeThreads(worker), 0);
    EXPECT_FALSE(WorkerProbe::deviceOpen(worker));
}

// A reader's failure, whatever it is, is told once and ends every thread.
TEST(WorkerThreads, ReadFailureIsReportedOnceAndEndsEveryThread) {
    const struct {
        std::error_code error;
        bool outOfMemory;
        const char* message;
    } cases[] = {{systemError(EIO), false, "Device read error"},
                 {{}, true, "Insufficient memory"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto record = std::make_shared<DeviceRecord>();
        TBaseDispatcher worker(std::make_unique<RecordingDevice>(record));
        ThreadReports reports;
        worker.setThreadErrorHandler(reports.handler());
        ASSERT_FALSE(worker.InitPort(QStringLiteral("COM1"), 4800, 0, 8, 1, 4096, 4096, 3));
        record->readError = c.error;
        record->readRunsOutOfMemory = c.outOfMemory;
        const auto seen = reports.wait(1);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].className, QStringLiteral("EInOutError"));
        EXPECT_EQ(seen[0].message, QLatin1StringView(c.message));
        for (int i = 0; i < 2000 && WorkerProbe::activeThreads(worker) > 0; ++i)
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(worker.KillThreads());
        EXPECT_EQ(WorkerProbe::activeThreads(worker), 0);
        // Nothing queues behind the writer that went with them.
        EXPECT_EQ(worker.PutBlock("x", 1), SerialErrc::write_failed);
        worker.DonePort();
        EXPECT_EQ(reports.wait(2, 100).size(), 1u);
    }
}

TEST(WorkerThreads, LineChangeWaitsForTheLineAtTheOldRate) {
    auto record = std::make_shared<DeviceRecord>();
    TBaseDispatcher worker(std::make_unique<RecordingDevice>(record));
    ASSERT_FALSE(worker.InitPort(QStringLiteral("COM1"), 4800, 0, 8, 1, 4096, 4096, 3));
    // Unchanged settings: nothing written, no pause.
    record->clear();
    ASSERT_FALSE(worker.SetLine(4800, 0, 8, 1));
    EXPECT_EQ(record->names().count(QStringLiteral("setState")), 0);

    // 18 characters of 10 bits at 4800 bit/s before the new rate is written.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_FALSE(worker.SetLine(9600, 2, 7, 2));
    const auto calls = record->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().what, QStringLiteral("RTS on"));
    const auto set = std::find_if(calls.begin(), calls.end(), [](const auto& c) {
        return c.what == QStringLiteral("setState");
    });
    ASSERT_NE(set, calls.end());
    EXPECT_GE(set->at - start, 37ms);
    const LineSettings now = record->written().back();
    EXPECT_EQ(now.baud, 9600u);
    EXPECT_EQ(now.parity, 2);
    EXPECT_EQ(now.byteSize, 7);
    EXPECT_EQ(now.stopBits, 2);
    worker.DonePort();
}

}  // namespace
}  // namespace qev
