// The port component, its worker and the send cycle on real pseudo terminals.

#include "pty_pair.h"
#include "recording_device.h"
#include "scoped_config.h"

#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/serial_errors.h"
#include "serial/sync_timing.h"
#include "serial/transmission.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>

using namespace std::chrono_literals;

namespace qev {
namespace {

using test::MasterCollector;
using test::PtyPair;
using test::ScopedConfig;
using test::ThreadReports;
using test::WorkerProbe;

QByteArray zoneMessage() {
    QByteArray m(1, char(0xEE));
    for (int k = 0; k < 16; ++k)
        m.append(QByteArray::fromHex("2b00000000"));
    m.append(char(0xFA));
    return m;
}

class ScriptedPrompt : public PortPrompt {
public:
    ScriptedPrompt(int result, int pick) : result_(result), pick_(pick) {}
    int exec(const QStringList& items, QString& selectedText) override {
        ++calls;
        shown = items;
        if (pick_ >= 0 && pick_ < items.size())
            selectedText = items[pick_];
        return result_;
    }
    int calls = 0;
    QStringList shown;

private:
    int result_;
    int pick_;
};

class PortTest : public ::testing::Test {
protected:
    PortTest() {
        links.link(1, pty.slavePath());
        port.setBaud(4800);
        port.setAutoOpen(false);
    }

    // Waits until the writer has taken everything from the ring.
    bool drained() {
        for (int i = 0; i < 2000; ++i) {
            if (port.OutBuffUsed() == 0)
                return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    ScopedConfig links;
    PtyPair pty;
    TComPort port;
};

TEST_F(PortTest, CycleSendsExactBytesWithTheLineSettings) {
    MasterCollector collector(pty.master());
    QByteArray message = zoneMessage();
    message[3] = 0;  // zero bytes are part of the message
    int pumps = 0;
    transmit(port, 0, message, [&] { ++pumps; });

    EXPECT_FALSE(port.Open());
    ASSERT_TRUE(collector.waitFor(message.size(), 1s));
    EXPECT_EQ(collector.bytes().toHex(), message.toHex());

    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B4800));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | HUPCL), tcflag_t(CLOCAL | CREAD | HUPCL));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);
}

TEST_F(PortTest, EmptyMessageStillWaitsAndCloses) {
    MasterCollector collector(pty.master());
    int pumps = 0;
    const auto start = std::chrono::steady_clock::now();
    transmit(port, 0, QByteArray(), [&] { ++pumps; });
    EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(pumps, 0);
    EXPECT_FALSE(port.Open());
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(collector.bytes().isEmpty());
}

TEST_F(PortTest, SecondHolderIsRefusedAndTheLockIsReleasedOnClose) {
    // The refusal names who holds the line: this test program.
    const QString heldByThisProgram =
        QStringLiteral("Device already open: in use by %1 (pid %2)")
            .arg(QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName())
            .arg(::getpid());
    port.setComNumber(1);
    port.setOpen(true);
    TComPort other;
    other.setComNumber(1);
    try {
        other.setOpen(true);
        FAIL() << "a second open succeeded";
    } catch (const EAlreadyOpen& e) {
        EXPECT_EQ(e.ErrorCode(), -2008);
        EXPECT_EQ(e.message(), heldByThisProgram);
    }
    EXPECT_FALSE(other.Open());
    port.setOpen(false);
    other.setOpen(true);  // the lock went with the close
    EXPECT_TRUE(other.Open());
    other.setOpen(false);

    // Another program's lock counts as well.
    const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    try {
        transmit(port, 0, "x", [] {});
        ADD_FAILURE() << "sent on a locked line";
    } catch (const EAlreadyOpen& e) {
        EXPECT_EQ(e.message(), heldByThisProgram);
    }
    EXPECT_FALSE(port.Open());
    ::close(fd);
}

// The kernel lets root open a line that another program marked exclusive; QEV must not.
TEST_F(PortTest, LineHeldExclusivelyIsRefusedAlsoToRoot) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root gets past the kernel's own refusal";
    MasterCollector collector(pty.master());
    ASSERT_EQ(::ioctl(pty.slave(), TIOCEXCL), 0);
    EXPECT_THROW(transmit(port, 0, "x", [] {}), EAlreadyOpen);
    EXPECT_FALSE(port.Open());
    ASSERT_EQ(::ioctl(pty.slave(), TIOCNXCL), 0);
    transmit(port, 0, "x", [] {});
    EXPECT_TRUE(collector.waitFor(1, 1s));
    EXPECT_EQ(collector.bytes(), QByteArray("x"));
}

TEST_F(PortTest, MissingDeviceFailsWithoutPrompt) {
    links.link(2, QStringLiteral("/dev/qev-no-such-device"));
    ScriptedPrompt prompt(PortPrompt::Ok, 0);
    port.setPortPrompt(&prompt);
    try {
        transmit(port, 1, zoneMessage(), [] {});
        FAIL() << "sent to a missing device";
    } catch (const EBadId& e) {
        EXPECT_EQ(e.ErrorCode(), -2001);
        EXPECT_EQ(e.message(), QStringLiteral("Specified comport doesn't exist"));
    }
    EXPECT_EQ(prompt.calls, 0);
    EXPECT_FALSE(port.Open());
}

TEST_F(PortTest, PermissionDeniedNamesTheDeviceAndTheGroup) {
    // Root opens anything; an unprivileged child process meets the pty's 0620 mode.
    ::chmod(QFile::encodeName(links.path()).constData(), 0755);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::getuid() == 0 && ::setuid(65534) != 0)
            ::_exit(3);
        TComPort p;
        p.setComNumber(1);
        p.setAutoOpen(false);
        try {
            p.setOpen(true);
        } catch (const EPortAccessDenied& e) {
            const bool named = e.message().contains(pty.slavePath()) &&
                               e.message().contains(QStringLiteral("dialout"));
            ::_exit(named ? 0 : 1);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 4)
        GTEST_SKIP() << "this user may open the pty";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PortTest, RingTakesAnExactFitAndRefusesOneByteMore) {
    port.setComNumber(1);
    port.setOpen(true);
    EXPECT_THROW(port.PutString(QByteArray(4097, 'a')), EOutputBufferTooSmall);
    EXPECT_EQ(port.OutBuffUsed(), 0);

    pty.stall();
    port.PutString(QByteArray(100, 'w'));  // the writer takes it and waits on the line
    ASSERT_TRUE(drained());
    port.PutString(QByteArray(4000, 'b'));
    port.PutString(QByteArray(96, 'c'));
    EXPECT_EQ(port.OutBuffUsed(), 4096);
    try {
        port.PutString("d");
        FAIL() << "a full ring took a byte";
    } catch (const EOutputBufferTooSmall& e) {
        EXPECT_EQ(e.ErrorCode(), -3006);
        EXPECT_EQ(e.message(), QStringLiteral("Output buffer too small for block"));
    }
    EXPECT_EQ(port.OutBuffUsed(), 4096);
    port.setOpen(false);
    pty.resume();
}

TEST_F(PortTest, CloseWhileWritePendingIsPromptAndDiscards) {
    MasterCollector collector(pty.master());
    port.setComNumber(1);
    port.setOpen(true);
    pty.stall();
    port.PutString(QByteArray(300, 'p'));
    ASSERT_TRUE(drained());
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(collector.bytes().isEmpty()) << "the stalled line let bytes through";

    const auto start = std::chrono::steady_clock::now();
    port.setOpen(false);
    // The flush acknowledgement, not its 5 s time-out, ends the close.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(port.Open());

    pty.resume();
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(collector.bytes().isEmpty()) << "unsent output reached the line after close";

    transmit(port, 0, "ok", [] {});  // the port opens again afterwards
    EXPECT_TRUE(collector.waitFor(2, 1s));
    EXPECT_EQ(collector.bytes(), QByteArray("ok"));
}

TEST_F(PortTest, VanishedDeviceReportsWriteErrorOnce) {
    ThreadReports log;
    port.setThreadErrorHandler(log.handler());
    port.setComNumber(1);
    port.setOpen(true);
    pty.closeMaster();  // the adapter is unplugged
    port.PutString("lost");
    const auto seen = log.wait(1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].className, QStringLiteral("EInOutError"));
    EXPECT_EQ(seen[0].message, QStringLiteral("Device write error"));
    EXPECT_TRUE(seen[0].detail.contains(QStringLiteral("none of the message's 4 bytes left")))
        << seen[0].detail.toStdString();
    EXPECT_EQ(port.OutBuffUsed(), 0);
    // Nothing queues behind a writer that has gone, so no drain loop can hang on it.
    try {
        port.PutString("more");
        FAIL() << "queued behind a dead writer";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 160);
    }
    port.setOpen(false);
    EXPECT_EQ(log.wait(2, 20).size(), 1u);
}

TEST_F(PortTest, FailedWriteClosesThePort) {
    EXPECT_THROW(transmit(port, 0, QByteArray(5000, 'x'), [] {}), EOutputBufferTooSmall);
    EXPECT_FALSE(port.Open());
}

TEST_F(PortTest, CancelledPromptIsSilentAndOkUsesTheFirstPresentPort) {
    ScriptedPrompt cancel(PortPrompt::Abort, 0);
    port.setPortPrompt(&cancel);
    EXPECT_THROW(transmit(port, -1, "x", [] {}), EAbort);
    EXPECT_EQ(cancel.calls, 1);
    ASSERT_FALSE(cancel.shown.isEmpty());
    EXPECT_EQ(cancel.shown.front(), QStringLiteral("COM1"));

    ScriptedPrompt closed(PortPrompt::Cancel, 0);
    port.setPortPrompt(&closed);
    EXPECT_THROW(transmit(port, -1, "x", [] {}), EAbort);

    port.setPortPrompt(nullptr);
    EXPECT_THROW(transmit(port, -1, "x", [] {}), EAbort);

    port.setPromptForPort(false);
    try {
        transmit(port, -1, "x", [] {});
        FAIL();
    } catch (const ENoPortSelected& e) {
        EXPECT_EQ(e.ErrorCode(), -2011);
        EXPECT_EQ(e.message(),
                  QStringLiteral("The ComNumber property of the TComPort has not been set"));
    }
    port.setPromptForPort(true);

    MasterCollector collector(pty.master());
    ScriptedPrompt ok(PortPrompt::Ok, 0);
    port.setPortPrompt(&ok);
    transmit(port, -1, "hi", [] {});
    EXPECT_TRUE(collector.waitFor(2, 1s));
    EXPECT_EQ(collector.bytes(), QByteArray("hi"));
    EXPECT_EQ(port.ComNumber(), 1);  // the chosen number stays until the next assignment
    EXPECT_FALSE(port.Open());
}

// A second send from the drain loop's event pump joins the open port behind the first.
TEST_F(PortTest, NestedTransmissionOnTheSamePortQueuesBehindTheFirst) {
    MasterCollector collector(pty.master());
    port.setComNumber(1);
    port.setOpen(true);
    pty.stall();
    port.PutString("[filler]");  // keeps the writer busy so the first message waits in the ring
    ASSERT_TRUE(drained());

    int outerPumps = 0;
    bool nested = false;
    transmit(port, 0, "first;", [&] {
        ++outerPumps;
        if (nested)
            return;
        nested = true;
        transmit(port, 0, "second;", [&] { pty.resume(); });
    });
    EXPECT_GE(outerPumps, 1);
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(collector.waitFor(21, 1s));
    EXPECT_EQ(collector.bytes(), QByteArray("[filler]first;second;"));
}

TEST_F(PortTest, NestedTransmissionOnAnotherPortReopensAndDiscardsTheFirst) {
    PtyPair pty2;
    links.link(2, pty2.slavePath());
    MasterCollector collector1(pty.master());
    MasterCollector collector2(pty2.master());
    port.setComNumber(1);
    port.setOpen(true);
    pty.stall();
    port.PutString("[filler]");
    ASSERT_TRUE(drained());

    bool nested = false;
    transmit(port, 0, "first;", [&] {
        if (nested)
            return;
        nested = true;
        transmit(port, 1, "second;", [] {});
    });
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.ComNumber(), 2);
    EXPECT_TRUE(collector2.waitFor(7, 1s));
    EXPECT_EQ(collector2.bytes(), QByteArray("second;"));
    pty.resume();
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(collector1.bytes().isEmpty());
}

TEST_F(PortTest, ReopenFailureOfTheNumberAssignmentEscapes) {
    port.setComNumber(1);
    port.setOpen(true);
    links.link(3, QStringLiteral("/dev/qev-no-such-device"));
    EXPECT_THROW(transmit(port, 2, "x", [] {}), EBadId);
    EXPECT_FALSE(port.Open());
}

// Received bytes are taken in and dropped; a chatty peer neither blocks nor fails a send.
TEST(WorkerTest, ReceivedDataIsCollectedWithoutBlockingOutput) {
    PtyPair pty;
    TSerialDispatcher worker;
    ASSERT_FALSE(worker.InitPort(pty.slavePath(), 4800, 0, 8, 1, 4096, 4096, 3));
    EXPECT_EQ(WorkerProbe::activeThreads(worker), 4);
    const QByteArray noise(60000, 'n');
    qsizetype sent = 0;
    for (int i = 0; i < 200 && sent < noise.size(); ++i) {
        const ssize_t n = ::write(pty.master(), noise.constData() + sent, noise.size() - sent);
        if (n > 0)
            sent += n;
        else
            std::this_thread::sleep_for(1ms);
    }
    MasterCollector collector(pty.master());
    ASSERT_FALSE(worker.PutBlock("out", 3));
    EXPECT_TRUE(collector.waitFor(3, 1s));
    for (int i = 0; i < 1000 && WorkerProbe::receivedBytes(worker) < quint64(sent); ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(WorkerProbe::receivedBytes(worker), quint64(sent));
    worker.DonePort();
    EXPECT_EQ(WorkerProbe::activeThreads(worker), 0);
    EXPECT_FALSE(WorkerProbe::deviceOpen(worker));
}

TEST(WorkerTest, SetLineRestoresRawModeAndChangesTheRate) {
    PtyPair pty;
    TSerialDispatcher worker;
    ASSERT_FALSE(worker.InitPort(pty.slavePath(), 4800, 0, 8, 1, 4096, 4096, 3));
    // Another program put the line back into line-editing mode behind the worker's back.
    termios t{};
    ::tcgetattr(pty.slave(), &t);
    t.c_lflag |= ICANON | ECHO;
    ::tcsetattr(pty.slave(), TCSANOW, &t);
    ASSERT_FALSE(worker.SetLine(0, 5, 9, 3));  // keep rate, parity, size and stop bits
    ::tcgetattr(pty.master(), &t);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
    // (A pty keeps 8 data bits and no parity whatever it is told.)
    ASSERT_FALSE(worker.SetLine(9600, 5, 9, 2));
    ::tcgetattr(pty.master(), &t);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_TRUE(worker.SetLine(12345, 5, 9, 3));  // no such rate
    worker.DonePort();
    EXPECT_EQ(WorkerProbe::activeThreads(worker), 0);
}

// A timed block leaves at its instant and not before; a flush during the hold drops it; a
// hold far longer than any sender asks for (the clock was set back) is cut short.
TEST(WorkerTest, TimedBlockIsHeldUntilItsInstantAndCanBeFlushedMeanwhile) {
    PtyPair pty;
    MasterCollector collector(pty.master());
    TSerialDispatcher worker;
    ASSERT_FALSE(worker.InitPort(pty.slavePath(), 4800, 0, 8, 1, 4096, 4096, 3));

    // Bytes queued during the hold are not held up behind it.
    const auto steadyAt = MasterCollector::Clock::now() + 300ms;
    ASSERT_FALSE(worker.PutBlockAt("timed", 5, realtimeNowNs() + 300'000'000));
    for (int i = 0; i < 100 && worker.OutBuffUsed() != 0; ++i)
        std::this_thread::sleep_for(1ms);  // until the writer holds it
    ASSERT_FALSE(worker.PutBlock("now", 3));
    ASSERT_TRUE(collector.waitFor(8, 2s));
    EXPECT_EQ(collector.bytes(), "nowtimed");
    EXPECT_GE(collector.arrivals().back(), steadyAt - 1ms);
    for (int i = 0; i < 1000 && worker.releasedBlocks() == 0; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(worker.releasedBlocks(), 1u);

    collector.clear();
    ASSERT_FALSE(worker.PutBlockAt("dropped", 7, realtimeNowNs() + 40'000'000));
    worker.FlushOutBuffer();
    ASSERT_FALSE(worker.PutBlock("after", 5));
    ASSERT_TRUE(collector.waitFor(5, 2s));
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(collector.bytes(), "after");
    EXPECT_EQ(worker.releasedBlocks(), 1u);

    collector.clear();
    ASSERT_FALSE(worker.PutBlockAt("late", 4, realtimeNowNs() + 3600 * kNanosPerSecond));
    EXPECT_TRUE(collector.waitFor(4, 10s));
    worker.DonePort();
    EXPECT_EQ(WorkerProbe::activeThreads(worker), 0);
}

}  // namespace
}  // namespace qev
