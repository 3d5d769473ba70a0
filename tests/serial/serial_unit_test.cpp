// The layer's error texts, the port-number helpers, device naming and the busy wait.

#include "hostile_files.h"
#include "pty_pair.h"
#include "scoped_config.h"

#include "ports/device_naming.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/serial_device.h"
#include "serial/serial_errors.h"
#include "serial/transmission.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace qev {
namespace {

template <typename E>
E raised(std::error_code code, const QString& path = QString()) {
    try {
        raiseSerialError(code, path);
    } catch (const E& e) {
        return e;
    }
    throw std::logic_error("wrong exception class");
}

// What each failure the layer reports becomes at the port component; a system's number is never
// read as one of the layer's (errno 161 is no "Device read error").
TEST(SerialErrorTest, CodesBecomeTheirClassesAndTexts) {
    const struct {
        std::error_code code;
        QString text;
        int errorCode;
    } cases[] = {
        {SerialErrc::device_missing, "Specified comport doesn't exist", -2001},
        {SerialErrc::device_busy, "Device already open", -2008},
        {SerialErrc::comm_not_open, "Device not open", -2007},
        {SerialErrc::output_buffer_too_small, "Output buffer too small for block", -3006},
        {SerialErrc::read_failed, "Device read error", 161},
        {SerialErrc::write_failed, "Device write error", 160},
        {SerialErrc::out_of_memory, "Out of memory", 0},
        {systemError(EINVAL), "The serial port failed: " + QString::fromLocal8Bit(strerror(EINVAL)),
         0},
        {systemError(161), "The serial port failed: " + QString::fromLocal8Bit(strerror(161)), 0},
    };
    for (const auto& c : cases) {
        // errorCode 0: an error that carries no number of its own
        try {
            raiseSerialError(c.code, QString());
            ADD_FAILURE() << c.code.message();
        } catch (const ESerialException& e) {
            EXPECT_EQ(e.message(), c.text) << c.code.message();
            EXPECT_EQ(e.ErrorCode(), c.errorCode) << c.code.message();
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.message(), c.text) << c.code.message();
            EXPECT_EQ(e.ErrorCode(), c.errorCode) << c.code.message();
        } catch (const Exception& e) {
            EXPECT_EQ(e.message(), c.text) << c.code.message();
            EXPECT_EQ(0, c.errorCode) << c.code.message();
        }
    }
    EXPECT_EQ(raised<EInOutError>(SerialErrc::read_failed).ErrorCode(), 161);
    EXPECT_EQ(EInOutError(-100).message(), QStringLiteral("Attempt to read beyond end of file"));
    EXPECT_EQ(EInOutError(-31).message(), QStringLiteral("I/O error 31"));
    const EPortAccessDenied denied =
        raised<EPortAccessDenied>(SerialErrc::access_denied, "/dev/ttyUSB0");
    EXPECT_TRUE(denied.message().contains(QStringLiteral("/dev/ttyUSB0")));
    EXPECT_TRUE(denied.message().contains(QStringLiteral("dialout")));
}

TEST(SerialDeviceTest, OnlyATerminalDeviceIsTakenAndNothingElseIsWaitedOn) {
    QTemporaryDir dir;
    test::WatchedFifo pipe(dir.filePath(QStringLiteral("pipe")));
    ASSERT_TRUE(pipe.created());
    QDir().mkpath(dir.filePath(QStringLiteral("folder")));
    QFile file(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("kept");
    file.close();
    const QStringList before = test::folderRecord(dir.path());
    const test::Watchdog watchdog(5000, "opening what is not a serial device");
    for (const QString& path :
         {dir.filePath(QStringLiteral("pipe")), dir.filePath(QStringLiteral("folder")),
          dir.filePath(QStringLiteral("file")), QStringLiteral("/dev/null")}) {
        const auto device = createSerialDevice();
        EXPECT_EQ(device->open(path), SerialErrc::not_serial_device) << path.toStdString();
        EXPECT_FALSE(device->isOpen());
        // Presence is the open's own check: what an open refuses is not listed.
        EXPECT_FALSE(serialDevicePresent(path)) << path.toStdString();
    }
    EXPECT_FALSE(pipe.opened());
    EXPECT_EQ(test::folderRecord(dir.path()), before);

    const ENotSerialDevice refused =
        raised<ENotSerialDevice>(SerialErrc::not_serial_device, dir.filePath("folder"));
    EXPECT_EQ(refused.message(), "\"" + dir.filePath("folder") +
                                     "\" is not a serial device (it is a folder). Make it a link "
                                     "to the port's device, for example /dev/ttyUSB0");
    EXPECT_NE(dynamic_cast<const EOpenComm*>(&refused), nullptr);

    // A terminal still opens.
    test::PtyPair pty;
    const auto device = createSerialDevice();
    EXPECT_FALSE(device->open(pty.slavePath()));
    EXPECT_TRUE(device->isOpen());
}

TEST(SerialErrorTest, OpenFailuresShareTheirBases) {
    const EAlreadyOpen open;
    EXPECT_NE(dynamic_cast<const EOpenComm*>(&open), nullptr);
    const EOutputBufferTooSmall small;
    EXPECT_NE(dynamic_cast<const ESerialIO*>(&small), nullptr);
    const EPortPromptCancelled cancelled;
    EXPECT_EQ(cancelled.ErrorCode(), -2011);
    EXPECT_NE(dynamic_cast<const ENoPortSelected*>(&cancelled), nullptr);
    EXPECT_EQ(inOutErrorText(-7), QString());
    EXPECT_EQ(inOutErrorText(-162), QStringLiteral("General failure"));
}

TEST(SerialErrorTest, ReportsNameTheExceptionsOwnClass) {
    EXPECT_EQ(exceptionClassName(EInOutError(-160)), QStringLiteral("EInOutError"));
    EXPECT_EQ(exceptionClassName(EBadId()), QStringLiteral("EBadId"));
    EXPECT_EQ(exceptionClassName(ESerialException(QStringLiteral("x"), 0)),
              QStringLiteral("ESerialException"));
    EXPECT_EQ(exceptionClassName(EOutOfMemory()), QStringLiteral("EOutOfMemory"));
}

TEST(SerialErrorTest, NoPortFoundShowsTheFolderAsTheUserTypesIt) {
    const ENoPortFound inHome(QDir::homePath() + QStringLiteral("/.config/QEV/ports"));
    EXPECT_EQ(inHome.message(), QStringLiteral("No serial port was found. Connect the clock's "
                                               "adapter, or link a device as "
                                               "~/.config/QEV/ports/COMn"));
    EXPECT_EQ(inHome.ErrorCode(), -2011);
    const ENoPortFound elsewhere(QStringLiteral("/srv/cfg/QEV/ports"));
    EXPECT_TRUE(elsewhere.message().endsWith(QStringLiteral("as /srv/cfg/QEV/ports/COMn")));
}

// 18 characters at the last rate; a character is start bit, data bits, parity, stop bits.
TEST(LineChangePauseTest, CountsEveryBitOfACharacter) {
    auto at = [](quint32 baud, quint8 bits, quint8 parity, quint8 stop) {
        LineSettings s;
        s.byteSize = bits;
        s.parity = parity;
        s.stopBits = stop;
        return lineChangePauseMs(baud, s);
    };
    EXPECT_EQ(at(115200, 8, pNone, 0), 2);  // the open's pause
    EXPECT_EQ(at(4800, 8, pNone, 0), 38);   // 10 bits
    EXPECT_EQ(at(4800, 7, pNone, 0), 34);   // 9 bits
    EXPECT_EQ(at(4800, 8, pEven, 0), 42);   // 11 bits
    EXPECT_EQ(at(4800, 8, pMark, 0), 42);
    EXPECT_EQ(at(4800, 8, pNone, 2), 42);  // two stop bits
    EXPECT_EQ(at(4800, 8, pOdd, 2), 45);   // 12 bits
    EXPECT_EQ(at(4800, 5, pNone, 1), 30);  // one and a half stop bits count as two
    EXPECT_EQ(at(300, 8, pNone, 0), 600);
    // Under 1 ms the pause is doubled before it is rounded up: 0.54 ms becomes 2 ms, not 1.
    EXPECT_EQ(at(230400, 5, pNone, 0), 2);
    EXPECT_EQ(at(0, 8, pNone, 0), 0);
}

TEST(SelectedComNumTest, ReadsTheNumberAfterThePrefix) {
    EXPECT_EQ(SelectedComNum(QStringLiteral("COM1")), 1);
    EXPECT_EQ(SelectedComNum(QStringLiteral("COM50")), 50);
    EXPECT_THROW(SelectedComNum(QString()), EConvertError);
    EXPECT_THROW(SelectedComNum(QStringLiteral("COM")), EConvertError);
    EXPECT_THROW(SelectedComNum(QStringLiteral("COMx")), EConvertError);
    EXPECT_EQ(SelectedComNum(QStringLiteral("COM65537")), 1);  // 16 bits kept
}

TEST(WaitMillisecondsTest, SumsDifferencesAcrossTheWrap) {
    quint32 now = 0xFFFFFFF0u;
    int reads = 0;
    const quint32 result = WaitMilliseconds(40, [&] {
        ++reads;
        return now += 3;  // wraps after a few reads
    });
    EXPECT_EQ(result, 40u);
    EXPECT_EQ(reads, 15);  // the first reading, then 14 steps of 3 to reach 42 >= 40
    EXPECT_EQ(WaitMilliseconds(0, [&] { return ++now; }), 0u);
}

// The half-second wait after a send must leave the processor to others: a spin kept the
// kernel's own work for the port waiting, and the bytes reached the line a tick late.
TEST(WaitMillisecondsTest, TheRealWaitLastsAndGivesUpTheProcessor) {
    const auto threadCpu = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    };
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = threadCpu();
    EXPECT_EQ(WaitMilliseconds(200), 200u);
    const double cpuUsed = threadCpu() - cpuBefore;
    EXPECT_GE(wall.elapsed(), 198);  // a millisecond counter can end up to a tick early
    EXPECT_LT(cpuUsed, 100.0);       // a spin would use about 200 ms of processor time
}

TEST(DeviceNamingTest, LinksOverrideTheLegacyNodes) {
    test::ScopedConfig links;
    EXPECT_EQ(resolveDeviceName(QStringLiteral("\\\\.\\COM1")), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(resolveDeviceName(QStringLiteral("\\\\.\\com12")), QStringLiteral("/dev/ttyS11"));
    links.link(3, QStringLiteral("/dev/null"));
    EXPECT_EQ(resolveDeviceName(QStringLiteral("COM3")), links.linkPath(3));
    // A link to an unplugged adapter still names that port, not a legacy node.
    links.link(4, QStringLiteral("/dev/qev-unplugged"));
    EXPECT_EQ(resolveDeviceName(QStringLiteral("\\\\.\\COM4")), links.linkPath(4));
    EXPECT_EQ(resolveDeviceName(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(comDeviceName(7), QStringLiteral("\\\\.\\COM7"));
}

TEST(DeviceNamingTest, PresenceWithoutOpening) {
    test::ScopedConfig links;
    test::PtyPair pty;
    links.link(1, pty.slavePath());
    links.link(2, QStringLiteral("/dev/qev-unplugged"));
    links.link(3, links.path());  // not a character device
    EXPECT_TRUE(PortPresent(1));
    EXPECT_FALSE(PortPresent(2));
    EXPECT_FALSE(PortPresent(3));
    EXPECT_FALSE(PortPresent(0));
    const QStringList names = presentPortNames();
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.front(), QStringLiteral("COM1"));
    EXPECT_FALSE(names.contains(QStringLiteral("COM2")));

    // A held port is listed like a free one: presence does not open it.
    TComPort holder;
    holder.setAutoOpen(false);
    holder.setComNumber(1);
    holder.setOpen(true);
    EXPECT_TRUE(PortPresent(1));
    holder.setOpen(false);
}

// What a port link may lead to, judged by the numbers and the name of the device, never by
// opening it: only a terminal that can be a line to a device is a port.
TEST(DeviceNamingTest, PortLinkTargetsAreJudgedWithoutOpening) {
    test::ScopedConfig links;
    test::PtyPair pty;
    QTemporaryDir dir;
    test::WatchedFifo pipe(dir.filePath(QStringLiteral("pipe")));
    ASSERT_TRUE(pipe.created());
    ASSERT_TRUE(QFile::link(links.linkPath(9), links.linkPath(8)));  // 8 -> 9 -> 8
    ASSERT_TRUE(QFile::link(links.linkPath(8), links.linkPath(9)));
    const struct {
        int n;
        QString target;  // empty: made above
        DeviceCheck::Verdict verdict;
        const char* says;
    } cases[] = {
        {1, pty.slavePath(), DeviceCheck::Serial, ""},
        {2, "/dev/tty", DeviceCheck::NotSerial, "the terminal of whichever program opens it"},
        {3, "/dev/ptmx", DeviceCheck::NotSerial, "the pseudo-terminal multiplexer"},
        {4, "/dev/console", DeviceCheck::NotSerial, "the system console"},
        {5, "/dev/null", DeviceCheck::NotSerial, "which is no terminal"},
        {6, "/dev/zero", DeviceCheck::NotSerial, "which is no terminal"},
        {7, dir.filePath("pipe"), DeviceCheck::NotSerial, "named pipe"},
        {8, {}, DeviceCheck::NotSerial, "leads round in a loop"},
        {10, dir.path(), DeviceCheck::NotSerial, "folder"},
        {11, "/dev/tty1", DeviceCheck::NotSerial, "a virtual console"},
        {12, "/dev/qev-unplugged", DeviceCheck::Missing, ""},
    };
    for (const auto& c : cases) {
        const test::Watchdog watchdog(5000, "judging a port link");
        if (c.target.startsWith("/dev/") && c.verdict != DeviceCheck::Missing &&
            !QFileInfo::exists(c.target))
            continue;  // not every machine or container has a console
        if (!c.target.isEmpty())
            links.link(c.n, c.target);
        const QString link = resolveDeviceName(comDeviceName(quint16(c.n)));
        ASSERT_EQ(link, links.linkPath(c.n));
        const DeviceCheck check = examineDevice(link);
        EXPECT_EQ(check.verdict, c.verdict) << c.n << " " << check.what.toStdString();
        EXPECT_TRUE(check.what.contains(QLatin1StringView(c.says))) << check.what.toStdString();
        EXPECT_EQ(PortPresent(quint16(c.n)), c.verdict == DeviceCheck::Serial) << c.n;
        const std::error_code opened = createSerialDevice()->open(link);
        EXPECT_EQ(opened, c.verdict == DeviceCheck::Serial    ? std::error_code()
                          : c.verdict == DeviceCheck::Missing ? SerialErrc::device_missing
                                                              : SerialErrc::not_serial_device)
            << c.n;
    }
    EXPECT_FALSE(pipe.opened());

    // The pseudo terminal that a program runs in is its user's, not a line to a device.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool own = ::setsid() >= 0 && ::ioctl(pty.slave(), TIOCSCTTY, 0) == 0;
        const DeviceCheck check = examineDevice(links.linkPath(1));
        ::_exit(own && check.verdict == DeviceCheck::NotSerial &&
                        check.what.endsWith(QStringLiteral("the terminal QEV runs in"))
                    ? 0
                    : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // A link that cannot be looked at is reported, naming it; the legacy node is left alone.
    const test::ScopedConfig tooLong(QString(5000, QLatin1Char('x')));
    const QString link = tooLong.linkPath(1);
    EXPECT_EQ(resolveDeviceName(comDeviceName(1)), link);
    EXPECT_EQ(examineDevice(link).verdict, DeviceCheck::Unexaminable);
    EXPECT_EQ(createSerialDevice()->open(link), SerialErrc::unexaminable);
    const auto refused = raised<EPortUnexaminable>(SerialErrc::unexaminable, link);
    EXPECT_TRUE(
        refused.message().startsWith("The port link \"" + link + "\" cannot be examined ("));
    EXPECT_TRUE(portAbsenceReason(1).endsWith("cannot be examined (" +
                                              qt_error_string(ENAMETOOLONG) + ")"));
}

TEST(DeviceNamingTest, LegacyNodesNeedHardwareInSysfs) {
    if (!QFileInfo::exists(QStringLiteral("/dev/ttyS0")))
        GTEST_SKIP() << "no /dev/ttyS0 here";
    QTemporaryDir sys;
    const QString devices = sys.path() + QStringLiteral("/devices");
    const QString tty = sys.path() + QStringLiteral("/class/tty/ttyS0");
    QDir().mkpath(tty);
    QDir().mkpath(sys.path() + QStringLiteral("/bus/platform"));
    QDir().mkpath(sys.path() + QStringLiteral("/bus/pnp"));
    QDir().mkpath(sys.path() + QStringLiteral("/bus/serial-base"));
    auto device = [&](const QString& controller, const QString& bus) {
        const QString dir = devices + QLatin1Char('/') + controller;
        const QString port = dir + QStringLiteral("/ctrl/port");
        QDir().mkpath(port);
        QFile::link(sys.path() + QStringLiteral("/bus/") + bus, dir + QStringLiteral("/subsystem"));
        QFile::link(sys.path() + QStringLiteral("/bus/serial-base"),
                    dir + QStringLiteral("/ctrl/subsystem"));
        QFile::link(sys.path() + QStringLiteral("/bus/serial-base"),
                    port + QStringLiteral("/subsystem"));
        QFile::remove(tty + QStringLiteral("/device"));
        QFile::link(port, tty + QStringLiteral("/device"));
    };
    device(QStringLiteral("serial8250"), QStringLiteral("platform"));
    EXPECT_FALSE(serialDevicePresent(QStringLiteral("/dev/ttyS0"), sys.path()));
    device(QStringLiteral("pnp0"), QStringLiteral("pnp"));
    EXPECT_TRUE(serialDevicePresent(QStringLiteral("/dev/ttyS0"), sys.path()));
    QFile::remove(tty + QStringLiteral("/device"));
    EXPECT_FALSE(serialDevicePresent(QStringLiteral("/dev/ttyS0"), sys.path()));
}

TEST(ComPortTest, DefaultsAndClosedBehaviour) {
    TComPort port;
    EXPECT_EQ(port.ComNumber(), 0);
    EXPECT_EQ(port.Baud(), 19200);
    EXPECT_EQ(port.Parity(), pNone);
    EXPECT_EQ(port.DataBits(), 8);
    EXPECT_EQ(port.StopBits(), 1);
    EXPECT_EQ(port.InSize(), 4096);
    EXPECT_EQ(port.OutSize(), 4096);
    EXPECT_TRUE(port.DTR());
    EXPECT_TRUE(port.RTS());
    EXPECT_EQ(port.HWFlowOptions(), 0);
    EXPECT_EQ(port.SWFlowOptions(), swfNone);
    EXPECT_EQ(port.XOnChar(), 17);
    EXPECT_EQ(port.XOffChar(), 19);
    EXPECT_EQ(port.BufferFull(), 0);
    EXPECT_EQ(port.BufferResume(), 0);
    EXPECT_TRUE(port.PromptForPort());
    EXPECT_TRUE(port.AutoOpen());
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.Open());

    port.setAutoOpen(false);
    EXPECT_EQ(port.OutBuffUsed(), 0);
    EXPECT_THROW(port.PutString("x"), ECommNotOpen);
    port.setComNumber(9);  // closed: only stored
    EXPECT_EQ(port.ComNumber(), 9);
    EXPECT_FALSE(port.Open());
    port.setOpen(false);  // closing a closed port does nothing
}

}  // namespace
}  // namespace qev
