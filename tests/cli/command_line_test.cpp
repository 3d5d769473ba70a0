// The command line: what the arguments ask for, the stored choices a command reads (without
// ever writing the settings file), and the answers that need no port.

#include "cli/command_line.h"
#include "cli/cli_commands.h"
#include "command_runner.h"
#include "protocol/zone_line.h"
#include "scoped_config.h"
#include "settings/main_form_settings.h"
#include "settings/platform_backend.h"
#include "settings/settings_errors.h"
#include "settings/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

namespace qev {
namespace {

Command parse(QStringList args) {
    args.prepend(QStringLiteral("qev"));
    return parseCommandLine(args);
}

TEST(CommandLine, CommandsAndTheirOptions) {
    EXPECT_EQ(parse({"sync"}).kind, CommandKind::Sync);
    EXPECT_TRUE(parse({"sync"}).ports.isEmpty());
    EXPECT_FALSE(parse({"sync"}).requireSynced);
    EXPECT_EQ(parse({"send-zones"}).kind, CommandKind::SendZones);
    EXPECT_EQ(parse({"ports"}).kind, CommandKind::Ports);

    const Command c = parse({"sync", "--port", "COM7", "--require-synced"});
    EXPECT_EQ(c.kind, CommandKind::Sync);
    EXPECT_EQ(c.ports, QList<quint16>{7});
    EXPECT_TRUE(c.requireSynced);
    // Options may come first, and "--port=" works as well.
    EXPECT_EQ(parse({"--port=com12", "send-zones"}).ports, QList<quint16>{12});
    // Several clocks: repeated or listed, in port order, each once.
    EXPECT_EQ(parse({"sync", "--port", "COM9", "--port", "COM2,com1", "--port", "2"}).ports,
              (QList<quint16>{1, 2, 9}));

    // Pinning a number by hand; the device is the ports command's second word.
    const Command linked = parse({"ports", "--link", "COM3", "/dev/ttyUSB0", "--force"});
    EXPECT_EQ(linked.kind, CommandKind::Ports);
    EXPECT_EQ(linked.linkAction, PortLinkAction::Link);
    EXPECT_EQ(linked.linkPort, 3);
    EXPECT_EQ(linked.linkDevice, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_TRUE(linked.force);
    const Command unlinked = parse({"--unlink=com50", "ports"});
    EXPECT_EQ(unlinked.linkAction, PortLinkAction::Unlink);
    EXPECT_EQ(unlinked.linkPort, 50);
    EXPECT_EQ(parse({"ports"}).linkAction, PortLinkAction::None);

    for (const char* help : {"--help", "-h"})
        EXPECT_EQ(parse({help}).kind, CommandKind::Help) << help;
    for (const char* version : {"--version", "-v"})
        EXPECT_EQ(parse({version}).kind, CommandKind::Version) << version;
    EXPECT_EQ(parse({"sync", "--help"}).kind, CommandKind::Help);
}

TEST(CommandLine, BadUsageSaysWhatIsWrong) {
    const struct {
        QStringList args;
        QString says;
    } cases[] = {
        {{"--port", "COM2"}, "No command given"},
        {{"frobnicate"}, "Unknown command \"frobnicate\""},
        {{"sync", "ports"}, "Unexpected argument \"ports\""},
        {{"sync", "--bogus"}, "bogus"},
        {{"sync", "--port"}, "port"},
        {{"sync", "--port", "COM0"}, "\"COM0\" is no port"},
        {{"sync", "--port", "COM51"}, "\"COM51\" is no port"},
        {{"sync", "--port", "ttyS0"}, "\"ttyS0\" is no port"},
        {{"sync", "--port", "COM1,,COM2"}, "\"\" is no port"},
        {{"sync", "--port", "COM1", "--port", "COM1,tcp://h:1"}, "\"tcp://h:1\" is no port"},
        {{"ports", "--port", "COM1"}, "takes no --port"},
        {{"send-zones", "--require-synced"}, "belongs to the sync command"},
        // One dash: a typo of an option, or the window's option given to a command.
        {{"-port", "COM1", "sync"},
         "Unknown option \"-port\": options of the commands take two "
         "dashes, as in --port"},
        {{"sync", "-port=COM1"}, "Unknown option \"-port=COM1\""},
        {{"-sync"}, "Unknown option \"-sync\""},
        {{"-platform", "offscreen", "ports"}, "\"-platform\" is an option of the window"},
        {{"sync", "--port", "-3"}, "\"-3\" is no port"},
        {{"ports", "--link", "COM3"}, "--link needs the device"},
        {{"ports", "--link", "COM51", "/dev/ttyUSB0"}, "\"COM51\" is no port"},
        {{"ports", "--unlink", "COM0"}, "\"COM0\" is no port"},
        {{"ports", "--link", "COM1", "/dev/ttyUSB0", "x"}, "Unexpected argument \"x\""},
        {{"ports", "--unlink", "COM1", "/dev/ttyUSB0"}, "Unexpected argument \"/dev/ttyUSB0\""},
        {{"ports", "--link", "COM1", "/dev/ttyUSB0", "--unlink", "COM2"}, "either --link or"},
        {{"ports", "--link", "COM1", "--link", "COM2", "/dev/ttyUSB0"}, "more than once"},
        {{"ports", "--force"}, "--force belongs to --link"},
        {{"ports", "--unlink", "COM1", "--force"}, "--force belongs to --link"},
        {{"send-zones", "--link", "COM1", "/dev/ttyUSB0"}, "belong to the ports command"},
        {{"ports", "-link", "COM1", "/dev/ttyUSB0"}, "as in --link"},
    };
    for (const auto& c : cases) {
        const Command command = parse(c.args);
        EXPECT_EQ(command.kind, CommandKind::UsageError) << c.args.join(' ').toStdString();
        EXPECT_TRUE(command.error.contains(c.says))
            << c.args.join(' ').toStdString() << ": " << command.error.toStdString();
    }
}

TEST(CommandLine, WindowOnlyWithoutCommand) {
    // The toolkit's own options, and only they, still open the window.
    for (const QStringList& args :
         {QStringList{}, QStringList{"-platform", "offscreen"}, QStringList{"-style=fusion"},
          QStringList{"-style", "sync"}, QStringList{"-reverse", "-qwindowtitle", "Clock"},
          QStringList{"-qmljsdebugger=port:1234"}})
        EXPECT_FALSE(wantsCommandLine(args)) << args.join(' ').toStdString();
    for (const QStringList& args :
         {QStringList{"sync"}, QStringList{"--help"}, QStringList{"-h"}, QStringList{"-v"},
          QStringList{"--port", "COM1", "sync"}, QStringList{"nonsense"},
          QStringList{"-port", "COM1", "sync"}, QStringList{"-sync"}, QStringList{"-qmljsdebugger"},
          QStringList{"-platform", "offscreen", "sync"}, QStringList{"-platform=offscreen"}})
        EXPECT_TRUE(wantsCommandLine(args)) << args.join(' ').toStdString();
}

TEST(CommandLine, PortNames) {
    EXPECT_EQ(parsePortName("COM1"), quint16(1));
    EXPECT_EQ(parsePortName("com50"), quint16(50));
    EXPECT_EQ(parsePortName("8"), quint16(8));
    for (const char* bad :
         {"", "COM", "COM0", "COM51", "COM-1", "COM1x", "COM 1", "/dev/ttyS0", "COM99999999999"})
        EXPECT_FALSE(parsePortName(bad).has_value()) << bad;
}

TEST(CommandLine, SentTextsNameTheTimeAndThePort) {
    EXPECT_EQ(sentText(timeSentWhat(1772886896), 3, "/dev/ttyS2"),
              "Sent the time 2026-03-07 12:34:56 UTC to COM3 (/dev/ttyS2)\n");
    EXPECT_EQ(sentText(zonesSentWhat(16), 12, "/dev/ttyUSB0"),
              "Sent the zone configuration (16 zones) to COM12 (/dev/ttyUSB0)\n");
    // Where it cannot be known that the message arrived, "Sent" is not said.
    EXPECT_EQ(sentText(zonesSentWhat(16), 4, "/dev/pts/4", false),
              "Wrote the zone configuration (16 zones) to COM4 (/dev/pts/4), a pseudo-terminal; "
              "whether the program at its other end has read it cannot be known\n");
    EXPECT_TRUE(versionText().startsWith("qev 1."));
    for (const char* word :
         {"sync", "send-zones", "ports", "--port", "--require-synced", "Exit status"})
        EXPECT_TRUE(helpText().contains(word)) << word;
        // Each platform's own places, and none of the other's.
#ifdef _WIN32
    const QStringList here = {"HKEY_CURRENT_USER\\Software\\QEV\\MainForm", "Device Manager"};
#else
    const QStringList here = {"$XDG_CONFIG_HOME/QEV/settings.reg", "/dev/ttyS<n-1>", "--link",
                              "--unlink"};
#endif
    for (const QString& word : here)
        EXPECT_TRUE(helpText().contains(word)) << word.toStdString();
    EXPECT_NE(helpText().contains("HKEY"), helpText().contains("XDG"));
}

#ifndef _WIN32
// A settings file the window could have written, in a private folder.
class StoredChoices : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    void write(const QStringList& mainValues, const QStringList& listValues = {}) {
        QStringList text = {"Windows Registry Editor Version 5.00", "",
                            "[HKEY_CURRENT_USER\\Software\\QEV\\MainForm]"};
        text << mainValues;
        if (!listValues.isEmpty())
            text << ""
                 << "[HKEY_CURRENT_USER\\Software\\QEV\\MainForm\\ListBox1_Items]" << listValues;
        writeRaw((text.join("\r\n") + "\r\n").toUtf8());
    }
    void writeRaw(const QByteArray& bytes) {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString file() const { return dir_.filePath("settings.reg"); }
    std::optional<int> port() {
        TSettingsStore s(createReadOnlySettingsBackend(file()));
        return storedPortIndex(s);
    }
    QStringList zones() {
        TSettingsStore s(createReadOnlySettingsBackend(file()));
        return storedZoneLines(s);
    }

    QTemporaryDir dir_;
};

TEST_F(StoredChoices, PortChoiceAsTheWindowRestoresIt) {
    EXPECT_FALSE(port().has_value());  // no file: no choice
    write({"\"FormVersion\"=dword:00000000", "\"RadioGroup1_ItemIndex\"=dword:00000003"});
    EXPECT_EQ(port(), 3);
    write({"\"RadioGroup1_ItemIndex\"=dword:0000000c"});
    EXPECT_EQ(port(), 7);  // beyond "Com 8": the last one
    write({"\"RadioGroup1_ItemIndex\"=dword:fffffff9"});
    EXPECT_EQ(port(), -1);  // below: none
    write({"\"RadioGroup1_ItemIndex\"=\"5\""});
    EXPECT_EQ(port(), 5);
    write({"\"RadioGroup1_ItemIndex\"=\"x\""});
    EXPECT_EQ(port(), 0);
    write({"\"FormVersion\"=dword:00000000"});
    EXPECT_FALSE(port().has_value());
    // A version the window does not restore from leaves no choice.
    write({"\"FormVersion\"=dword:ffffffff", "\"RadioGroup1_ItemIndex\"=dword:00000002"});
    EXPECT_FALSE(port().has_value());
}

TEST_F(StoredChoices, ZoneLinesOrTheDefaults) {
    EXPECT_EQ(zones(), defaultZoneLines());
    const QString line = "Zone 09  -08:00  1:US Standard (as of 2007),12 hr";
    write({"\"FormVersion\"=dword:00000000"},
          {"\"Count\"=dword:00000002", "\"Item0\"=\"" + line + "\"", "\"Item1\"=\"x\""});
    EXPECT_EQ(zones(), (QStringList{line, "x"}));
}

TEST_F(StoredChoices, ListThatCannotBeReadIsAnErrorNotTheDefaults) {
    write({"\"FormVersion\"=dword:00000000"}, {"\"Count\"=dword:7fffffff"});
    try {
        zones();
        FAIL() << "no error";
    } catch (const EStoreError& e) {
        EXPECT_TRUE(e.message().contains("claims")) << e.message().toStdString();
    }
}

TEST_F(StoredChoices, FileThatCannotBeReadIsReportedAndLeftAlone) {
    const QByteArray garbage(
        "\x7f"
        "ELF not a settings file");
    writeRaw(garbage);
    const QDateTime before = QFileInfo(file()).lastModified();
    try {
        port();
        FAIL() << "no error";
    } catch (const EStoreError& e) {
        EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(file())))
            << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("left as it is")) << e.message().toStdString();
    }
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), garbage);
    EXPECT_EQ(QFileInfo(file()).lastModified(), before);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"settings.reg"});

    // Something else in its place is named, and left there too.
    QFile::remove(file());
    ASSERT_TRUE(QDir().mkpath(file()));
    try {
        port();
        FAIL() << "no error";
    } catch (const EStoreError& e) {
        EXPECT_TRUE(e.message().contains("is not a regular file (it is a folder)"))
            << e.message().toStdString();
    }
    EXPECT_TRUE(QFileInfo(file()).isDir());
}

TEST_F(StoredChoices, ReaderNeverWrites) {
    write({"\"RadioGroup1_ItemIndex\"=dword:00000001"});
    TSettingsStore s(createReadOnlySettingsBackend(file()));
    EXPECT_THROW(s.WriteInteger("MainForm\\RadioGroup1_ItemIndex", 4), EStoreError);
    EXPECT_THROW(s.WriteStringList("MainForm\\ListBox1_Items", {"a"}), EStoreError);
    EXPECT_EQ(port(), 1);
}

#endif  // the settings file

// The answers that reach no port, with the clock's state given.
class Answers : public ::testing::Test {
protected:
    int run(const QStringList& args, ClockSync clock = ClockSync::Synced) {
        const test::CommandRun r = test::runQev(args, {clock, dir_.filePath("none.reg"), nullptr});
        out_ = r.out;
        err_ = r.err;
        return r.status;
    }
    QTemporaryDir dir_;
    QString out_, err_;
};

TEST_F(Answers, UsageHelpAndVersion) {
    EXPECT_EQ(run({"sync", "--port", "COM0"}), 2);
    EXPECT_TRUE(out_.isEmpty());
    EXPECT_TRUE(err_.startsWith("qev: \"COM0\" is no port")) << err_.toStdString();
    EXPECT_TRUE(err_.contains("qev --help"));
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(out_, helpText());
    EXPECT_TRUE(err_.isEmpty());
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(out_, versionText());
}

#ifndef _WIN32
TEST_F(Answers, UnsynchronisedClockWarnsOrRefuses) {
    // COM50 is a dangling link: the send fails after the clock has been looked at.
    test::ScopedConfig config;
    config.link(50, "/nonexistent/tty");
    const QStringList sync = {"sync", "--port", "COM50"};

    EXPECT_EQ(run(sync + QStringList{"--require-synced"}, ClockSync::Unsynced), 1);
    EXPECT_EQ(err_,
              "qev: This computer's clock is not synchronised, so nothing was sent. Start "
              "its time synchronisation (systemd-timesyncd, chrony or ntpd), or leave out "
              "--require-synced.\n");
    EXPECT_TRUE(out_.isEmpty());
    EXPECT_EQ(run(sync, ClockSync::Unsynced), 1);
    EXPECT_TRUE(err_.startsWith("qev: warning: this computer's clock is not synchronised"))
        << err_.toStdString();
    EXPECT_TRUE(err_.endsWith("qev: COM50: Specified comport doesn't exist.\n"))
        << err_.toStdString();
    EXPECT_EQ(run(sync + QStringList{"--require-synced"}, ClockSync::Synced), 1);
    EXPECT_EQ(err_, "qev: COM50: Specified comport doesn't exist.\n");
    // Where the state cannot be told, nothing is sent when it is required, and nothing is said
    // when it is not.
    EXPECT_EQ(run(sync + QStringList{"--require-synced"}, ClockSync::Unknown), 1);
    EXPECT_EQ(err_, "qev: Whether this computer's clock is synchronised cannot be told (" +
                        clockSyncUnknownReason() +
                        "), so nothing was sent. Leave out --require-synced to send all the "
                        "same.\n");
    EXPECT_EQ(run(sync, ClockSync::Unknown), 1);
    EXPECT_EQ(err_, "qev: COM50: Specified comport doesn't exist.\n");
    // A port choice left empty in the window is told before anything about the clock.
    QFile stored(dir_.filePath("none.reg"));
    ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
    stored.write(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\QEV\\MainForm]\r\n"
        "\"RadioGroup1_ItemIndex\"=dword:ffffffff\r\n");
    stored.close();
    EXPECT_EQ(run({"sync"}, ClockSync::Unsynced), 1);
    EXPECT_EQ(err_,
              "qev: No port is chosen: give one with --port COMn, or choose one in QEV's "
              "window.\n");
}

#endif  // port links

}  // namespace
}  // namespace qev
