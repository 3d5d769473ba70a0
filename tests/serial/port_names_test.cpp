// Port numbers for adapters, what each port is, and who holds a busy one: on a /dev, /sys and
// /proc of the test's own.

#include "fake_devices.h"
#include "pty_pair.h"

#include "ports/port_assignment.h"
#include "ports/port_description.h"
#include "ports/port_holder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include <functional>

namespace qev {
namespace {

using test::FakeDevices;
using test::UsbIdentity;

const QString kFtdi = QStringLiteral("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");
const QString kCh340 = QStringLiteral("usb-1a86_USB_Serial-if00-port0");

// The links as the test reads them: adapters by their names under the tree's root.
QMap<int, QString> linksOf(const FakeDevices& sys) {
    QMap<int, QString> links = sys.links();
    for (QString& target : links)
        target.remove(sys.root() + QLatin1Char('/'));
    return links;
}

TEST(PortAssignment, AdaptersGetTheLowestFreeNumbers) {
    const QString byId = QStringLiteral("dev/serial/by-id/");
    const struct {
        const char* what;
        std::function<void(FakeDevices&)> found;
        QMap<int, QString> links;
        const char* problem;
    } cases[] = {
        {"first adapter, no built-in port",
         [](FakeDevices& s) { s.plug(kFtdi); },
         {{1, byId + kFtdi}},
         ""},
        {"first adapter beside a built-in UART",
         [](FakeDevices& s) {
             s.builtIn(0);
             s.plug(kFtdi);
         },
         {{2, byId + kFtdi}},
         ""},
        {"links made by hand are kept and their numbers skipped; adapters in device order",
         [](FakeDevices& s) {
             s.builtIn(1);
             s.link(1, "/nonexistent/ttyUSB9");
             s.plug(kFtdi);
             s.plug(kCh340);
         },
         {{1, "/nonexistent/ttyUSB9"}, {3, byId + kFtdi}, {4, byId + kCh340}},
         ""},
        {"a link by hand to the adapter's own device counts",
         [](FakeDevices& s) {
             s.plug(kFtdi);
             s.link(5, s.root() + "/dev/ttyUSB0");
         },
         {{5, "dev/ttyUSB0"}},
         ""},
        {"a by-id entry that is no serial device",
         [](FakeDevices& s) { s.nameOnly("usb-Not_A_Port-if00", "/dev/null"); },
         {},
         ""},
        {"by-path where there is no by-id name",
         [](FakeDevices& s) { s.plug("pci-0000:00:14.0-usb-0:2:1.0-port0", {}, "by-path"); },
         {{1, "dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"}},
         ""},
        {"all fifty numbers taken",
         [](FakeDevices& s) {
             for (int n = 1; n <= 50; ++n)
                 s.link(n, "/nonexistent/tty");
             s.plug(kFtdi);
         },
         {},
         "all 50 port numbers are taken"},
    };
    for (const auto& c : cases) {
        FakeDevices sys;
        c.found(sys);
        const QMap<int, QString> before = linksOf(sys);
        const PortAssignment done = assignPortNumbers(sys.roots());
        QMap<int, QString> expected = c.links;
        if (qstrlen(c.problem) > 0)
            expected = before;
        EXPECT_EQ(linksOf(sys), expected) << c.what;
        EXPECT_EQ(done.problem.left(qstrlen(c.problem)), QLatin1String(c.problem))
            << c.what << ": " << done.problem.toStdString();
        EXPECT_EQ(done.assigned.size(), expected.size() - before.size()) << c.what;
    }
}

// Another program holds the folder's lock: a caller that may not wait (the window's thread)
// is told so at once, and the adapter gets its number at the next look.
TEST(PortAssignment, ABusyFolderIsToldWithoutWaiting) {
    FakeDevices sys;
    sys.plug(kFtdi);
    ASSERT_TRUE(QDir().mkpath(sys.roots().links));
    auto lock = std::make_unique<QLockFile>(sys.roots().links + "/.lock");
    ASSERT_TRUE(lock->tryLock());
    const std::atomic<bool> cancelled{true};
    for (const PortAssignment& busy :
         {assignPortNumbers(sys.roots(), 0), assignPortNumbers(sys.roots(), 60000, &cancelled)}) {
        EXPECT_TRUE(busy.busy);
        EXPECT_TRUE(busy.assigned.isEmpty());
    }
    lock.reset();
    EXPECT_EQ(assignPortNumbers(sys.roots(), 0).assigned, (QList<quint16>{1}));
}

TEST(PortAssignment, NumbersStayWithTheirAdaptersUntilTheirLinksGo) {
    FakeDevices sys;
    sys.plug(kFtdi);
    sys.plug(kCh340);
    EXPECT_EQ(assignPortNumbers(sys.roots()).assigned, (QList<quint16>{1, 2}));
    // Unplugged and plugged in again as another tty: the same number, and nothing written.
    sys.unplug(kFtdi);
    EXPECT_TRUE(assignPortNumbers(sys.roots()).assigned.isEmpty());
    sys.plug(kFtdi);
    EXPECT_TRUE(assignPortNumbers(sys.roots()).assigned.isEmpty());
    EXPECT_EQ(QFileInfo(portLinkPath(1, sys.roots())).canonicalFilePath(), sys.deviceOf(kFtdi));
    EXPECT_EQ(QDir(sys.roots().links)
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
              (QStringList{"COM1", "COM2"}));
    // A removed link frees its number for the next adapter without one.
    sys.unplug(kFtdi);
    ASSERT_TRUE(QFile::remove(portLinkPath(1, sys.roots())));
    sys.plug(QStringLiteral("usb-Prolific_USB-Serial_Controller-if00-port0"));
    EXPECT_EQ(assignPortNumbers(sys.roots()).assigned, (QList<quint16>{1}));
    EXPECT_EQ(portsLeadingTo(sys.deviceOf(kCh340), sys.roots()), (QList<quint16>{2}));
}

// Programs that list the ports at the same moment make one link per adapter between them.
TEST(PortAssignment, ProgramsAssigningAtOnceLinkEachAdapterOnce) {
    FakeDevices sys;
    const QStringList adapters = {kFtdi, kCh340, QStringLiteral("usb-Third-if00")};
    for (const QString& name : adapters)
        sys.plug(name);
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    QList<pid_t> children;
    for (int i = 0; i < 6; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            char go;
            ::close(start[1]);
            [[maybe_unused]] const ssize_t n = ::read(start[0], &go, 1);  // all start together
            ::_exit(int(assignPortNumbers(sys.roots()).assigned.size()));
        }
        children << child;
    }
    ::close(start[0]);
    ::close(start[1]);
    int made = 0;
    for (const pid_t child : children) {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        made += WEXITSTATUS(status);
    }
    EXPECT_EQ(made, 3);
    const QMap<int, QString> links = linksOf(sys);
    EXPECT_EQ(links.keys(), (QList<int>{1, 2, 3}));
    for (const QString& name : adapters)
        EXPECT_EQ(links.values().count("dev/serial/by-id/" + name), 1) << name.toStdString();
}

TEST(PortDescription, EachPortSaysWhatItIs) {
    FakeDevices sys;
    test::PtyPair bridge;
    sys.builtIn(0);
    sys.plug(kFtdi);
    sys.plug("a", {"1a86", "7523", "", "USB Serial", ""});
    sys.plug("b", {"067b", "2303", "Prolific", "Prolific USB-Serial Controller", ""});
    sys.plug("c", {"10c4", "ea60", "Silicon\x1b[2J Labs", "CP2102\nUSB\xe2\x80\xae", "0001"});
    sys.plug("d", {"0403", "6015", "", "", ""});
    sys.link(7, bridge.slavePath());
    sys.link(8, "/nonexistent/ttyUSB9");
    assignPortNumbers(sys.roots());
    const char* expected[] = {"built-in serial port",
                              "FTDI FT232R USB UART (A1B2C3)",
                              "USB Serial",
                              "Prolific USB-Serial Controller",
                              "Silicon [2J Labs CP2102 USB (0001)",
                              "USB serial adapter 0403:6015",
                              "linked by hand",
                              "no device",
                              "no device"};
    const QList<PortInfo> ports = describePorts({1, 2, 3, 4, 5, 6, 7, 8, 9}, sys.roots());
    ASSERT_EQ(ports.size(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(ports[i].number, i + 1);
        EXPECT_EQ(ports[i].description, QString::fromUtf8(expected[i])) << i + 1;
        EXPECT_EQ(ports[i].present, i < 7) << i + 1;
    }
    EXPECT_EQ(ports[1].device, sys.deviceOf(kFtdi));
    EXPECT_EQ(portTipText(ports[1]), "FTDI FT232R USB UART (A1B2C3)\n" + sys.deviceOf(kFtdi));
    EXPECT_EQ(portTipText(ports[8]), "no device");
}

// A /proc of the test's own: processes with their names and open files, and the locks table.
class FakeProc {
public:
    void process(qint64 pid, const QString& command, const QString& program,
                 const QStringList& open = {}) {
        const QString dir = root() + QStringLiteral("/%1").arg(pid);
        QDir().mkpath(dir + QStringLiteral("/fd"));
        write(dir + QStringLiteral("/comm"), command.toUtf8() + '\n');
        write(dir + QStringLiteral("/cmdline"), program.toUtf8() + QByteArray("\0-x\0", 4));
        for (int fd = 0; fd < open.size(); ++fd)
            QFile::link(open[fd], dir + QStringLiteral("/fd/%1").arg(fd + 3));
    }
    // A lock that pid holds on path, with a waiter behind it, as the locks table shows them.
    void lock(qint64 pid, const QString& path) {
        struct stat st {};
        ::stat(QFile::encodeName(path).constData(), &st);
        const QString file = QStringLiteral("%1:%2:%3")
                                 .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                                 .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                                 .arg(st.st_ino);
        locks_ += QStringLiteral(
                      "1: FLOCK  ADVISORY  WRITE %1 %2 0 EOF\n"
                      "1: -> FLOCK  ADVISORY  WRITE 999 %2 0 EOF\n")
                      .arg(pid)
                      .arg(file)
                      .toUtf8();
        write(root() + QStringLiteral("/locks"), locks_);
    }
    QString root() const { return dir_.path(); }

private:
    static void write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QTemporaryDir dir_;
    QByteArray locks_;
};

TEST(PortHolder, TheMessageNamesWhoHoldsThePort) {
    const QString advice = QStringLiteral(
        "ModemManager takes serial ports to look for modems on them. To make it leave this one "
        "alone, add the line ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
        "ENV{ID_MM_DEVICE_IGNORE}=\"1\" to a file such as /etc/udev/rules.d/99-qev.rules and "
        "plug the adapter in again, or stop ModemManager (sudo systemctl stop ModemManager)");
    const struct {
        const char* what;
        std::function<void(FakeProc&, const QString& device)> running;
        QString says;
    } cases[] = {
        {"nobody", [](FakeProc& p, const QString&) { p.process(1, "init", "/sbin/init"); }, ""},
        {"one program",
         [](FakeProc& p, const QString& d) {
             p.process(1, "init", "/sbin/init", {"/dev/null"});
             p.process(4242, "minicom", "minicom", {"/dev/null", d});
         },
         "in use by minicom (pid 4242)"},
        {"a name the kernel cut short, and a program that renamed itself",
         [](FakeProc& p, const QString& d) {
             p.process(10, "e2e_command_lin", "/usr/bin/e2e_command_line_test", {d});
             p.process(11, "sshd", "sshd: user@pts/0", {d});
         },
         "in use by e2e_command_line_test (pid 10) and sshd (pid 11)"},
        {"the lock holder, not the others that have it open",
         [](FakeProc& p, const QString& d) {
             p.process(20, "getty", "getty", {d});
             p.process(21, "picocom", "picocom", {d});
             p.lock(21, d);
         },
         "in use by picocom (pid 21)"},
        {"a lock holder whose open files are not shown",
         [](FakeProc& p, const QString& d) {
             p.process(30, "gpsd", "/usr/sbin/gpsd");
             p.lock(30, d);
         },
         "in use by gpsd (pid 30)"},
        {"ModemManager",
         [](FakeProc& p, const QString& d) {
             p.process(812, "ModemManager", "/usr/sbin/ModemManager", {d});
         },
         "in use by ModemManager (pid 812). " + advice},
        {"ModemManager running as another user",
         [](FakeProc& p, const QString&) {
             p.process(812, "ModemManager", "/usr/sbin/ModemManager");
         },
         "no program of yours has it open, but ModemManager (pid 812) runs and may hold it. " +
             advice},
    };
    for (const auto& c : cases) {
        FakeDevices sys;
        FakeProc proc;
        const QString device = sys.plug(kFtdi);
        c.running(proc, sys.deviceOf(kFtdi));
        EXPECT_EQ(portHolderText(device, proc.root(), sys.roots().sysfs), c.says) << c.what;
    }
}

}  // namespace
}  // namespace qev
