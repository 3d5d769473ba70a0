// Several clocks in one command, and clocks behind a serial device server: real
// pseudo-terminals, a real ser2net on 127.0.0.1, and listeners that misbehave.

#include "command_runner.h"
#include "line_recorder.h"
#include "printers.h"
#include "scoped_config.h"
#include "second_checks.h"
#include "serial_servers.h"

#include "protocol/messages.h"
#include "serial/com_port.h"
#include "serial/transmission.h"
#include "serial/transmitter.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace qev {
namespace {

using test::FaultyServer;
using test::LineRecorder;
using test::runQev;
using test::Ser2Net;

class SeveralClocks : public ::testing::Test {
protected:
    std::unique_ptr<LineRecorder> line(int n) {
        return std::make_unique<LineRecorder>(config_.portsFolder(), n);
    }
    void linkServer(int n, const QString& url) {
        const test::CommandRun r =
            runQev({"ports", "--link", QString("COM%1").arg(n), url, "--force"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    test::ScopedConfig config_;
};

// Four lines: two take their message, one is missing, one is held by another program; every
// port gets a line of its own, in port order, and the two clocks show the same second.
TEST_F(SeveralClocks, EachPortGetsItsMessageAndItsLine) {
    auto com1 = line(1), com2 = line(2), com4 = line(4);
    config_.link(3, "/nonexistent/ttyUSB7");
    const int held = ::open(QFile::encodeName(com4->slavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    test::waitForFractionOfSecond(100, 600);
    const test::CommandRun r =
        runQev({"sync", "--port", "COM4,COM2", "--port", "COM3", "--port", "COM1", "--port", "2"});
    qint64 first1 = 0, first2 = 0;
    const QByteArray m1 = com1->take(14, 3000, &first1), m2 = com2->take(14, 3000, &first2);
    ::close(held);
    EXPECT_EQ(r.status, 1);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << r.out;
    EXPECT_TRUE(lines[0].startsWith("COM1: wrote the time ")) << lines[0];
    EXPECT_TRUE(lines[1].startsWith("COM2: wrote the time ")) << lines[1];
    EXPECT_TRUE(lines[2].startsWith("COM3: not sent: ")) << lines[2];
    EXPECT_TRUE(lines[3].startsWith("COM4: not sent: ")) << lines[3];
    EXPECT_TRUE(lines[3].contains("already open") || lines[3].contains("in use")) << lines[3];
    EXPECT_TRUE(r.err.contains("not sent to 2 of 4 ports: COM3, COM4")) << r.err;
    ASSERT_EQ(m1, m2) << "one second for every clock";
    EXPECT_LT(std::abs(first1 - first2), 5'000'000) << "the lines started apart";
    EXPECT_TRUE(com4->take().isEmpty());

    // Two numbers that lead to one line: it gets one message, and each number its line.
    config_.link(5, com1->slavePath());
    const test::CommandRun shared = runQev({"sync", "--port", "COM1,COM5"});
    EXPECT_EQ(shared.status, 0) << shared.out << shared.err;
    EXPECT_TRUE(shared.out.contains("(with COM1, which leads there too)")) << shared.out;
    EXPECT_EQ(com1->take(14, 3000).size(), 14);
}

// What the server's line gets: the bytes as they were queued, 0xFF included, and through RFC
// 2217 the line set to 4800 8N1 without flow control (ser2net starts it at 9600).
TEST_F(SeveralClocks, ThroughSer2NetTheLineGetsTheBytesAndTheSettings) {
    Ser2Net server;
    if (!server.running())
        GTEST_SKIP() << "ser2net is not installed";
    const QByteArray message("\x02\xff\xff\x0d\x00\xfe\x03", 7);
    for (const QString& url : {server.rfc2217Url(), server.tcpUrl()}) {
        SCOPED_TRACE(url.toStdString());
        linkServer(9, url);
        test::MasterCollector collector(server.line().master());
        TComPort port;
        setUpClockPort(port);
        port.setPromptForPort(false);
        transmit(port, 8, message, CycleHooks{});
        EXPECT_EQ(port.DevicePath(), url);
        ASSERT_TRUE(collector.waitFor(message.size(), std::chrono::seconds(2)));
        EXPECT_EQ(collector.bytes(), message);
        if (url.startsWith("tcp:"))
            continue;  // the server's owner sets its line
        const termios t = server.lineSettings();
        EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    }
}

// Three clocks on one second, one of them behind ser2net.
TEST_F(SeveralClocks, LocalAndNetworkClocksShowTheSameSecond) {
    Ser2Net server;
    if (!server.running())
        GTEST_SKIP() << "ser2net is not installed";
    auto com1 = line(1), com2 = line(2);
    linkServer(9, server.rfc2217Url());
    test::MasterCollector com9(server.line().master());
    test::waitForFractionOfSecond(100, 600);
    const test::CommandRun r =
        runQev({"sync", "--port", "COM1", "--port", "COM2", "--port", "COM9"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.contains("COM9: sent the time ")) << r.out;
    qint64 first1 = 0;
    const QByteArray m1 = com1->take(14, 3000, &first1);
    ASSERT_TRUE(com9.waitFor(14, std::chrono::seconds(2)));
    EXPECT_EQ(com2->take(14, 3000), m1);
    EXPECT_EQ(com9.bytes(), m1);
}

// Each fault is told with the server's host and port, within the network's bound, and is no
// success.
TEST_F(SeveralClocks, NetworkFaultsAreToldWithinBoundedTime) {
    FaultyServer silent(FaultyServer::Silent), closing(FaultyServer::CloseOnData),
        refusing(FaultyServer::RefuseRfc2217), wrongBaud(FaultyServer::WrongBaud),
        deaf(FaultyServer::NeverAccepts);
    const QString nothing = QString("rfc2217://127.0.0.1:%1").arg(test::freeTcpPort());
    const struct {
        QString url;
        const char* says;
    } cases[] = {
        {nothing, "refused the connection"},
        {"rfc2217://clock-hall.invalid:2217", "cannot be found"},
        {deaf.url("tcp"), "did not answer within 3 seconds"},
        {silent.url("rfc2217"), "did not answer QEV's offer of RFC 2217"},
        {refusing.url("rfc2217"), "does not speak RFC 2217"},
        {wrongBaud.url("rfc2217"), "asked for 4800 baud, it set 9600 baud"},
        {closing.url("tcp"), "closed the connection"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        linkServer(5, c.url);
        QElapsedTimer took;
        took.start();
        const test::CommandRun r = runQev({"send-zones", "--port", "COM5"});
        EXPECT_LT(took.elapsed(), 7000);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, QString());
        EXPECT_TRUE(r.err.contains(c.says)) << r.err;
        const QString endpoint = c.url.section("://", 1);
        EXPECT_TRUE(r.err.contains(endpoint)) << r.err;
    }
}

}  // namespace
}  // namespace qev
