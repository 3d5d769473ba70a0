// The command line end to end: the real program run as a timer or a shell runs it, without a
// display, on ports that are ptys linked in a private config folder.

#include "cli/command_line.h"
#include "cli/cli_commands.h"
#include "printers.h"
#include "protocol/messages.h"
#include "protocol/zone_line.h"
#include "pty_pair.h"
#include "second_checks.h"
#include "serial/sync_timing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <thread>

namespace qev {
namespace {

using test::LineRecorder;

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        ports_ = config_.filePath("QEV/ports");
        settings_ = config_.filePath("QEV/settings.reg");
        ASSERT_TRUE(QDir().mkpath(ports_));
    }

    void startQev(QProcess& p, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config_.path());
        // No display of any kind: commands must not need one.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QEV_BINARY), args);
        ASSERT_TRUE(p.waitForStarted()) << args.join(' ').toStdString();
    }

    Outcome qev(const QStringList& args) {
        QProcess p;
        startQev(p, args);
        EXPECT_TRUE(p.waitForFinished(10000)) << args.join(' ').toStdString();
        Outcome r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    // The settings file as the window leaves it: a port choice and a zone list.
    void storeSettings(int itemIndex, const QStringList& lines = {}) {
        QStringList text = {"Windows Registry Editor Version 5.00", "",
                            "[HKEY_CURRENT_USER\\Software\\QEV\\MainForm]",
                            "\"FormVersion\"=dword:00000000",
                            QString("\"RadioGroup1_ItemIndex\"=dword:%1")
                                .arg(quint32(itemIndex), 8, 16, QChar('0'))};
        if (!lines.isEmpty()) {
            text << ""
                 << "[HKEY_CURRENT_USER\\Software\\QEV\\MainForm\\ListBox1_Items]"
                 << QString("\"Count\"=dword:%1").arg(lines.size(), 8, 16, QChar('0'));
            for (int i = 0; i < lines.size(); ++i)
                text << QString("\"Item%1\"=\"%2\"").arg(i).arg(lines[i]);
        }
        writeSettings((text.join("\r\n") + "\r\n").toUtf8());
    }
    void writeSettings(const QByteArray& bytes) {
        QFile f(settings_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray settingsBytes() {
        QFile f(settings_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    // The only thing in the settings folder besides the ports is the settings file itself.
    QStringList settingsFolder() {
        return QDir(config_.filePath("QEV"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }
    std::unique_ptr<LineRecorder> line(int n) { return std::make_unique<LineRecorder>(ports_, n); }

    QTemporaryDir config_;
    QString ports_;
    QString settings_;
};

QStringList zoneLines() {
    QStringList lines = defaultZoneLines();
    lines[0] = "Zone 00  +01:00  0:No DST,24 hr";
    lines[9] = "Zone 09  -08:00  1:US Standard (as of 2007),12 hr";
    return lines;
}

TEST_F(CommandLine, SyncSendsTheSecondThatStartsAsTheMessageEnds) {
    storeSettings(1);  // "Com 2"
    auto com2 = line(2);
    // Started well inside a second: a send at once would carry a second that began long before.
    test::waitForFractionOfSecond(400, 600);
    const Outcome r = qev({"sync"});
    qint64 firstNs = 0;
    const QByteArray m = com2->take(14, 3000, &firstNs);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const qint64 second = test::sentSecond(m);
    ASSERT_GT(second, 0) << m.toHex(' ').toStdString();
    const qint64 endNs = firstNs + wireTimeNs(14, 4800);
    EXPECT_LT(std::abs(endNs - second * kNanosPerSecond), 250'000'000)
        << "message ended " << (endNs - second * kNanosPerSecond) / 1e6 << " ms after "
        << "the start of the second it carries";
    EXPECT_EQ(r.out, sentText(timeSentWhat(second), 2, com2->slavePath(), false));
    // The only thing on stderr is the warning, and only when this computer's clock is adrift.
    if (systemClockSync() == ClockSync::Unsynced)
        EXPECT_TRUE(r.err.startsWith("qev: warning: this computer's clock is not synchronised"));
    else
        EXPECT_EQ(r.err, QString());
}

TEST_F(CommandLine, RequireSyncedSendsOnlyOnASynchronisedClock) {
    auto com3 = line(3);
    const Outcome r = qev({"sync", "--port", "COM3", "--require-synced"});
    const QByteArray m = com3->take(14, 1500);
    // Not synchronised, or not known to be (a container may keep the kernel's state from it).
    if (systemClockSync() != ClockSync::Synced) {
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(m.isEmpty()) << m.toHex(' ').toStdString();
        EXPECT_TRUE(r.err.contains("so nothing was sent")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    } else {
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_GT(test::sentSecond(m), 0);
    }
}

TEST_F(CommandLine, SendZonesSendsTheStoredListToTheStoredPort) {
    storeSettings(4, zoneLines());  // "Com 5"
    auto com5 = line(5);
    const QByteArray before = settingsBytes();
    const Outcome r = qev({"send-zones"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(com5->take(82, 2000).toHex(' '), buildZoneConfigMessage(zoneLines()).toHex(' '));
    EXPECT_EQ(r.out, sentText(zonesSentWhat(16), 5, com5->slavePath(), false));
    EXPECT_EQ(r.err, QString());
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(settingsFolder(), (QStringList{"ports", "settings.reg"}));
}

// Bytes already waiting on a pseudo-terminal for its reader stay there with the message; and
// as no one can see them read, the message is not called sent. Nothing stored: the window's
// own first choice, Com 1.
TEST_F(CommandLine, APseudoTerminalKeepsWhatItsReaderHasNotReadYet) {
    test::PtyPair pty;
    ASSERT_TRUE(QFile::link(pty.slavePath(), ports_ + "/COM1"));
    // More than the reader's side holds at once: the rest waits in the line's own buffers.
    const QByteArray unread(6000, 'u');
    ASSERT_EQ(::write(pty.slave(), unread.constData(), size_t(unread.size())), unread.size());
    const Outcome r = qev({"send-zones"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, sentText(zonesSentWhat(16), 1, pty.slavePath(), false));
    const test::MasterCollector master(pty.master());
    EXPECT_TRUE(master.waitFor(unread.size() + 82, std::chrono::seconds(2)));
    const QByteArray message = buildZoneConfigMessage(defaultZoneLines());
    EXPECT_EQ(master.bytes().size(), unread.size() + message.size());
    EXPECT_TRUE(master.bytes() == unread + message);
}

TEST_F(CommandLine, OutputThatCannotBeWrittenIsAFailure) {
    for (const QStringList& args : {QStringList{"--help"}, {"--version"}, {"ports"}}) {
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        startQev(p, args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 1) << args.join(' ');
        EXPECT_TRUE(p.readAllStandardError().contains("qev: standard output: ")) << args.join(' ');
    }
}

// A second start brings the window to the front instead of opening another, and a stop signal
// (a logout, a shutdown) closes it as a click would, saving.
TEST_F(CommandLine, TheWindowIsOneAndAStopSignalSavesIt) {
    const QStringList window = {"-platform", "offscreen"};
    QProcess first;
    startQev(first, window);
    QFile lock(config_.filePath("QEV/window.lock"));
    for (int i = 0; i < 500 && !(lock.open(QIODevice::ReadOnly) && lock.size() > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const Outcome second = qev(window);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(second.err.contains("it has been brought to the front")) << second.err;
    EXPECT_EQ(first.state(), QProcess::Running);
    ::kill(first.processId(), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(settingsBytes().contains("\"RadioGroup1_ItemIndex\"=dword:00000000"));
}

TEST_F(CommandLine, PortOptionOverridesTheStoredChoice) {
    storeSettings(1, zoneLines());
    auto com2 = line(2);
    auto com3 = line(3);
    const Outcome r = qev({"send-zones", "--port", "com3"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(com3->take(82, 2000).size(), 82);
    EXPECT_TRUE(com2->take(1, 200).isEmpty());
    EXPECT_TRUE(r.out.contains("to COM3 (")) << r.out.toStdString();
}

TEST_F(CommandLine, PortsListsThePresentOnesWithTheirDevices) {
    auto com2 = line(2);
    auto com12 = line(12);
    ASSERT_TRUE(QFile::link("/nonexistent/ttyUSB9", ports_ + "/COM7"));
    // Only what a send accepts is listed; the links left out are named with the reason.
    const struct {
        int n;
        const char* target;
        const char* says;
    } refused[] = {{3, "/dev/null", "which is no terminal"},
                   {4, "/dev/ptmx", "the pseudo-terminal multiplexer"},
                   {5, "/dev/tty", "the terminal of whichever program opens it"},
                   {7, nullptr, "leads to \"/nonexistent/ttyUSB9\", which does not exist"}};
    for (const auto& c : refused) {
        if (c.target) {
            ASSERT_TRUE(QFile::link(c.target, ports_ + QString("/COM%1").arg(c.n)));
        }
    }
    const Outcome r = qev({"ports"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    // Each with its device and what it is.
    EXPECT_TRUE(lines.contains("COM2\t" + com2->slavePath() + "\tlinked by hand"))
        << r.out.toStdString();
    EXPECT_TRUE(lines.contains("COM12\t" + com12->slavePath() + "\tlinked by hand"))
        << r.out.toStdString();
    for (const auto& c : refused) {
        const QString link = ports_ + QString("/COM%1").arg(c.n);
        EXPECT_FALSE(r.out.contains(QString("COM%1\t").arg(c.n))) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QString("qev: COM%1 is left out: \"%2\" ").arg(c.n).arg(link)))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
    EXPECT_LT(lines.indexOf("COM2\t" + com2->slavePath() + "\tlinked by hand"),
              lines.indexOf("COM12\t" + com12->slavePath() + "\tlinked by hand"));
}

// Numbers pinned by hand: a link is made only to a serial device, replaced only when asked, and
// only links are ever removed.
TEST_F(CommandLine, PortsLinkAndUnlinkPinNumbersByHand) {
    test::PtyPair a, b;
    const QString pa = a.slavePath(), pb = b.slavePath();
    ASSERT_TRUE(QFile(ports_ + "/COM5").open(QIODevice::WriteOnly));
    const QString notALink =
        "qev: \"" + ports_ + "/COM5\" is no link (it is a regular file); QEV leaves it alone.\n";
    // What each step prints; one that prints nothing on stdout fails.
    const struct {
        QStringList args;
        QString out, err;
    } steps[] = {
        {{"ports", "--link", "COM3", pa}, "COM3 now leads to " + pa + " (linked by hand)\n", ""},
        {{"ports", "--link", "COM3", pb},
         "",
         "qev: COM3 already leads to \"" + pa + "\"; add --force to replace the link.\n"},
        {{"ports", "--link", "COM3", "/dev/null", "--force"},
         "",
         "qev: \"/dev/null\" is not a serial device (it is a character device, which is no "
         "terminal), so COM3 was not linked.\n"},
        {{"ports", "--link", "COM3", pb, "--force"},
         "COM3 now leads to " + pb + " (linked by hand)\n",
         "qev: it led to \"" + pa + "\" before.\n"},
        {{"ports", "--link", "COM4", pb},
         "COM4 now leads to " + pb + " (linked by hand)\n",
         "qev: COM3 leads there as well; \"qev ports --unlink COM3\" frees that number.\n"},
        {{"ports", "--link", "COM5", pa, "--force"}, "", notALink},
        {{"ports", "--unlink", "COM3"}, "COM3 no longer leads to " + pb + "\n", ""},
        {{"ports", "--unlink", "COM3"}, "", "qev: COM3 has no link in \"" + ports_ + "\"\n"},
        {{"ports", "--unlink", "COM5"}, "", notALink},
    };
    for (const auto& step : steps) {
        const Outcome r = qev(step.args);
        const std::string what = step.args.join(' ').toStdString();
        EXPECT_EQ(r.status, step.out.isEmpty() ? 1 : 0) << what;
        EXPECT_EQ(r.out, step.out) << what;
        EXPECT_EQ(r.err, step.err) << what;
    }
    const Outcome r = qev({"ports"});
    EXPECT_TRUE(r.out.contains("COM4\t" + pb + "\tlinked by hand\n")) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("COM3\t")) << r.out.toStdString();
    EXPECT_TRUE(QFileInfo(ports_ + "/COM5").isFile());
}

TEST_F(CommandLine, PortsThatCannotBeUsedAreErrorsNeverSuccess) {
    // A dangling link: its device is missing.
    ASSERT_TRUE(QFile::link("/nonexistent/ttyUSB9", ports_ + "/COM7"));
    Outcome r = qev({"sync", "--port", "COM7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.endsWith("qev: COM7: Specified comport doesn't exist.\n"))
        << r.err.toStdString();

    // A port another program holds.
    auto com4 = line(4);
    const int held = ::open(QFile::encodeName(com4->slavePath()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    r = qev({"send-zones", "--port", "COM4"});
    ::close(held);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    // The holder is named: this test program, which holds the lock.
    EXPECT_EQ(r.err, QString("qev: COM4: Device already open: in use by %1 (pid %2)\n")
                         .arg(QFileInfo(QFile::symLinkTarget("/proc/self/exe")).fileName())
                         .arg(::getpid()));
    EXPECT_TRUE(com4->take(1, 200).isEmpty());

    // No port chosen, in the window or on the command line.
    storeSettings(-1);
    r = qev({"send-zones"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "qev: No port is chosen: give one with --port COMn, or choose one in "
              "QEV's window.\n");
}

// A line whose queue is full (a peer that stopped reading) takes nothing: the commands say so.
TEST_F(CommandLine, MessageThatDidNotLeaveIsNoSuccess) {
    test::PtyPair pty;
    ASSERT_TRUE(QFile::link(pty.slavePath(), ports_ + "/COM6"));
    for (const char* command : {"send-zones", "sync"}) {
        pty.fill();  // again: a port's close discards what its line still holds
        const Outcome r = qev({command, "--port", "COM6"});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(
            r.err.endsWith("qev: COM6: The message did not leave " + pty.slavePath() +
                           ": the line took no data (a stalled adapter, or a peer that stopped "
                           "reading)\n"))
            << r.err.toStdString();
    }
}

// A stop signal during a command: the port is closed properly, so the line keeps no exclusive
// mark for others to trip over, and the exit status tells which signal it was.
TEST_F(CommandLine, StopSignalClosesThePortAndIsTheExitStatus) {
    auto com3 = line(3);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}}) {
        SCOPED_TRACE(signal);
        // Early in a second, so that the sync still waits for its instant when the signal comes.
        test::waitForFractionOfSecond(50, 150);
        QProcess p;
        startQev(p, {"sync", "--port", "COM3"});
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ::kill(p.processId(), signal);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), status);
        EXPECT_TRUE(
            QString::fromLocal8Bit(p.readAllStandardError()).endsWith("; nothing was sent\n"));
        EXPECT_TRUE(com3->take(1, 900).isEmpty());
        const int fd = ::open(QFile::encodeName(com3->slavePath()).constData(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        int exclusive = -1;
        ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
        ::close(fd);
        EXPECT_EQ(exclusive, 0) << "the line was left marked exclusive";
    }
}

TEST_F(CommandLine, ABadStoredZoneLineIsNamedWithTheSettingsFile) {
    QStringList lines = zoneLines();
    lines[3] = "Zone 03  +0x:00  0:No DST,24 hr";
    storeSettings(1, lines);
    auto com2 = line(2);
    const Outcome r = qev({"send-zones"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qev: The zone list stored in \"" + settings_ +
                         "\" cannot be sent: zone line 03 (\"" + lines[3] +
                         "\"): ''0x'' is not a valid integer value. In QEV's window, right-click "
                         "that zone and choose \"Reset Zone\", or edit it.\n");
    EXPECT_TRUE(com2->take(1, 200).isEmpty());
}

TEST_F(CommandLine, UnreadableSettingsFileIsReportedAndLeftAsItIs) {
    auto com2 = line(2);
    const QByteArray garbage("PK\x03\x04 this is no settings file");
    writeSettings(garbage);
    const QDateTime modified = QFileInfo(settings_).lastModified();
    for (const QStringList& args : {QStringList{"sync"}, QStringList{"send-zones"},
                                    QStringList{"send-zones", "--port", "COM2"}}) {
        const Outcome r = qev(args);
        EXPECT_EQ(r.status, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(
            r.err.contains("qev: The settings file \"" + settings_ + "\" could not be read ("))
            << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_TRUE(com2->take(1, 200).isEmpty());
    EXPECT_EQ(settingsBytes(), garbage);
    EXPECT_EQ(QFileInfo(settings_).lastModified(), modified);
    EXPECT_EQ(settingsFolder(), (QStringList{"ports", "settings.reg"}));

    // --port makes a sync independent of the settings file.
    const Outcome r = qev({"sync", "--port", "COM2"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(com2->take(14, 2000).size(), 14);

    // A named pipe in its place: refused unopened, so nothing waits for a writer.
    QFile::remove(settings_);
    ASSERT_EQ(::mkfifo(QFile::encodeName(settings_).constData(), 0600), 0);
    const Outcome pipe = qev({"sync"});
    EXPECT_EQ(pipe.status, 1);
    EXPECT_EQ(pipe.err, "qev: The settings file \"" + settings_ +
                            "\" is not a regular file (it is a named pipe); it has been left as "
                            "it is.\n");
    EXPECT_TRUE(QFileInfo(settings_).exists());
}

TEST_F(CommandLine, UsageHelpAndVersion) {
    Outcome r = qev({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("qev " QEV_VERSION "\n"));
    r = qev({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("Usage: qev")) << r.out.toStdString();
    for (const QStringList& bad :
         {QStringList{"--bogus"}, QStringList{"sync", "extra"},
          QStringList{"sync", "--port", "COM99"}, QStringList{"-port", "COM1", "sync"}}) {
        r = qev(bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.startsWith("qev: ")) << r.err.toStdString();
    }
    EXPECT_TRUE(r.err.startsWith("qev: Unknown option \"-port\"")) << r.err.toStdString();
    // The parser's own words quote as the others do.
    r = qev({"sync", "--port"});
    EXPECT_TRUE(r.err.startsWith("qev: Missing value after \"--port\".\n")) << r.err;
    EXPECT_FALSE(QFileInfo::exists(settings_));
}

TEST_F(CommandLine, TheWindowWithoutADisplaySaysWhatToDoInstead) {
    Outcome r = qev({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, noDisplayText("neither DISPLAY nor WAYLAND_DISPLAY is set"));
    // A platform that needs a display, asked for by name: the toolkit tries, and its fatal
    // end is replaced by the same advice, told first.
    r = qev({"-platform", "xcb"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(noDisplayText("the toolkit could not open one")))
        << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("Reinstalling")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(settings_));
}

}  // namespace
}  // namespace qev
