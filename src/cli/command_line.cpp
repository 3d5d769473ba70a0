#include "cli/command_line.h"

#include "base/version.h"
#include "cli/command_line_platform.h"
#include "ports/port_assignment.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

namespace qev {

namespace {

// The toolkit's own options, as QGuiApplication and QApplication document them: whether the
// next word is the option's value, and whether "-name=value" is also taken.
struct ToolkitOption {
    QLatin1StringView name;
    bool takesValue;
    bool joinedValue;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {QLatin1StringView("-platform"), true, false},
    {QLatin1StringView("-platformpluginpath"), true, false},
    {QLatin1StringView("-platformtheme"), true, false},
    {QLatin1StringView("-plugin"), true, false},
    {QLatin1StringView("-qwindowgeometry"), true, false},
    {QLatin1StringView("-qwindowicon"), true, false},
    {QLatin1StringView("-qwindowtitle"), true, false},
    {QLatin1StringView("-reverse"), false, false},
    {QLatin1StringView("-session"), true, false},
    {QLatin1StringView("-display"), true, false},
    {QLatin1StringView("-geometry"), true, false},
    {QLatin1StringView("-style"), true, true},
    {QLatin1StringView("-stylesheet"), true, true},
    {QLatin1StringView("-widgetcount"), false, false},
    {QLatin1StringView("-qmljsdebugger"), false, true},  // only as "-qmljsdebugger=..."
};

// The toolkit option a word is, or nothing.
const ToolkitOption* toolkitOption(const QString& word) {
    for (const ToolkitOption& option : kToolkitOptions) {
        const bool joined = option.joinedValue && word.startsWith(option.name + u'=');
        const bool alone = word == option.name && (option.takesValue || !option.joinedValue);
        if (joined || alone)
            return &option;
    }
    return nullptr;
}

bool singleDashWord(const QString& word) {
    return word.size() > 1 && word.startsWith(u'-') && !word.startsWith(QStringLiteral("--"));
}

// The usage error of a one-dash word that is neither -h, -v nor -?, or nothing.
std::optional<QString> singleDashError(const QString& word) {
    if (!singleDashWord(word) || word == QStringLiteral("-h") || word == QStringLiteral("-v") ||
        word == QStringLiteral("-?"))
        return std::nullopt;
    if (toolkitOption(word))
        return QStringLiteral("\"%1\" is an option of the window; the commands take none")
            .arg(word);
    const QString name = word.mid(1).section(u'=', 0, 0);
    for (const char* longName : {"port", "require-synced", "help", "version", "link", "unlink",
                                 "force", "if-changed", "follow", "unfollow"}) {
        if (name == QLatin1StringView(longName))
            return QStringLiteral(
                       "Unknown option \"%1\": options of the commands take two "
                       "dashes, as in --%2")
                .arg(word, name);
    }
    return QStringLiteral("Unknown option \"%1\"").arg(word);
}

// Reads ports --link COMn DEVICE [--force] or --unlink COMn into command; the usage error
// otherwise.
std::optional<QString> portLinkError(const QCommandLineParser& parser,
                                     const QCommandLineOption& link,
                                     const QCommandLineOption& unlink,
                                     const QCommandLineOption& force, const QStringList& words,
                                     Command& command) {
    if (command.kind != CommandKind::Ports)
        return QStringLiteral("--link, --unlink and --force belong to the ports command");
    if (parser.isSet(link) && parser.isSet(unlink))
        return QStringLiteral("Give either --link or --unlink");
    if (!parser.isSet(link) && !parser.isSet(unlink))
        return QStringLiteral("--force belongs to --link");
    const QCommandLineOption& option = parser.isSet(link) ? link : unlink;
    const QStringList values = parser.values(option);
    const QString name = QStringLiteral("--") + option.names().first();
    if (values.size() > 1)
        return QStringLiteral("%1 is given more than once").arg(name);
    const auto n = parsePortName(values.first());
    if (!n)
        return QStringLiteral("\"%1\" is no port: give %2 COM1 to COM%3")
            .arg(values.first(), name)
            .arg(kMaxPortNumber);
    command.linkPort = *n;
    if (parser.isSet(unlink)) {
        if (parser.isSet(force))
            return QStringLiteral("--force belongs to --link");
        command.linkAction = PortLinkAction::Unlink;
        return std::nullopt;
    }
    if (words.size() < 2)
        return QStringLiteral(
            "--link needs the device to lead to, as in: qev ports --link COM3 "
            "/dev/serial/by-id/...");
    command.linkAction = PortLinkAction::Link;
    command.linkDevice = words.at(1);
    command.force = parser.isSet(force);
    return std::nullopt;
}

// Reads zones --follow N ZONE or --unfollow N into command; the usage error otherwise.
std::optional<QString> zoneFollowError(const QCommandLineParser& parser,
                                       const QCommandLineOption& follow,
                                       const QCommandLineOption& unfollow, const QStringList& words,
                                       Command& command) {
    if (command.kind != CommandKind::Zones)
        return QStringLiteral("--follow and --unfollow belong to the zones command");
    if (parser.isSet(follow) && parser.isSet(unfollow))
        return QStringLiteral("Give either --follow or --unfollow");
    const QCommandLineOption& option = parser.isSet(follow) ? follow : unfollow;
    const QStringList values = parser.values(option);
    const QString name = QStringLiteral("--") + option.names().first();
    if (values.size() > 1)
        return QStringLiteral("%1 is given more than once").arg(name);
    const auto n = parseZoneNumber(values.first());
    if (!n)
        return QStringLiteral(
                   "\"%1\" is no zone: give %2 0 to 15, as in \"Zone 00\" to \"Zone 15\"")
            .arg(values.first(), name);
    command.zone = *n;
    if (parser.isSet(unfollow)) {
        command.followAction = ZoneFollowAction::Unfollow;
        return std::nullopt;
    }
    if (words.size() < 2)
        return QStringLiteral(
            "--follow needs the time zone to follow, as in: qev zones --follow 1 Europe/London");
    command.followAction = ZoneFollowAction::Follow;
    command.zoneId = words.at(1);
    return std::nullopt;
}

}  // namespace

std::optional<int> parseZoneNumber(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,2}$"));
    if (!form.match(text.trimmed()).hasMatch())
        return std::nullopt;
    const int n = text.trimmed().toInt();
    return n < 16 ? std::optional<int>(n) : std::nullopt;
}

bool wantsCommandLine(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const ToolkitOption* option = toolkitOption(arguments.at(i));
        if (!option)
            return true;
        if (option->takesValue && arguments.at(i) == option->name)
            ++i;  // its value, whatever it looks like
    }
    return false;
}

QString noDisplayText(const QString& reason) {
    return QStringLiteral(
               "qev: The window needs a display, and none is available (%1). Without one, "
               "use a command: qev sync, qev send-zones, qev zones or qev ports (qev --help tells "
               "more).\n")
        .arg(reason);
}

std::optional<quint16> parsePortName(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(?:COM)?([0-9]{1,5})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const uint n = match.captured(1).toUInt();
    if (n < 1 || n > kMaxPortNumber)
        return std::nullopt;
    return quint16(n);
}

Command parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("?"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("COMn"));
    const QCommandLineOption requireSynced(QStringLiteral("require-synced"), {});
    const QCommandLineOption link(QStringLiteral("link"), {}, QStringLiteral("COMn"));
    const QCommandLineOption unlink(QStringLiteral("unlink"), {}, QStringLiteral("COMn"));
    const QCommandLineOption force(QStringLiteral("force"), {});
    const QCommandLineOption ifChanged(QStringLiteral("if-changed"), {});
    const QCommandLineOption follow(QStringLiteral("follow"), {}, QStringLiteral("N"));
    const QCommandLineOption unfollow(QStringLiteral("unfollow"), {}, QStringLiteral("N"));
    parser.addOptions(
        {help, version, port, requireSynced, link, unlink, force, ifChanged, follow, unfollow});

    Command command;
    const auto usage = [&command](const QString& error) {
        command.kind = CommandKind::UsageError;
        command.error = error;
        return command;
    };
    // A word with one dash is a typo of an option with two, or the window's; taken as a long
    // option it would run a command that was never asked for.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QStringLiteral("--"))
            break;
        if (arguments.at(i) == QStringLiteral("--port") ||
            arguments.at(i) == QStringLiteral("--link") ||
            arguments.at(i) == QStringLiteral("--unlink") ||
            arguments.at(i) == QStringLiteral("--follow") ||
            arguments.at(i) == QStringLiteral("--unfollow")) {
            ++i;  // its value, told about below if it is no port
            continue;
        }
        if (const auto error = singleDashError(arguments.at(i)))
            return usage(*error);
    }
    if (!parser.parse(arguments)) {
        // The parser quotes with apostrophes; every other message of the commands with quotes.
        static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
        QString error = parser.errorText();
        error.replace(quoted, QStringLiteral("\"\\1\""));
        return usage(error);
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        command.kind = parser.isSet(help) ? CommandKind::Help : CommandKind::Version;
        return command;
    }

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return usage(QStringLiteral("No command given: use sync, send-zones, zones or ports"));
    // ports --link COMn DEVICE and zones --follow N ZONE are the commands with a second word
    // (either option with another command is told of below).
    const qsizetype wordsTaken = parser.isSet(link) || parser.isSet(follow) ? 2 : 1;
    if (words.size() > wordsTaken)
        return usage(QStringLiteral("Unexpected argument \"%1\"").arg(words.at(wordsTaken)));
    const QString& word = words.first();
    if (word == QStringLiteral("sync"))
        command.kind = CommandKind::Sync;
    else if (word == QStringLiteral("send-zones"))
        command.kind = CommandKind::SendZones;
    else if (word == QStringLiteral("ports"))
        command.kind = CommandKind::Ports;
    else if (word == QStringLiteral("zones"))
        command.kind = CommandKind::Zones;
    else
        return usage(QStringLiteral("Unknown command \"%1\": use sync, send-zones, zones or ports")
                         .arg(word));

    if (parser.isSet(port)) {
        if (command.kind == CommandKind::Ports || command.kind == CommandKind::Zones)
            return usage(QStringLiteral("The %1 command takes no --port").arg(word));
        // A port named twice is one port: each clock gets its message once.
        for (const QString& value : parser.values(port)) {
            for (const QString& name : value.split(u',')) {
                const auto n = parsePortName(name);
                if (!n)
                    return usage(QStringLiteral("\"%1\" is no port: give --port COM1 to COM%2")
                                     .arg(name)
                                     .arg(kMaxPortNumber));
                if (!command.ports.contains(*n))
                    command.ports << *n;
            }
        }
        std::sort(command.ports.begin(), command.ports.end());
    }
    if (parser.isSet(link) || parser.isSet(unlink) || parser.isSet(force)) {
        if (const auto error = portLinkError(parser, link, unlink, force, words, command))
            return usage(*error);
    }
    if (parser.isSet(follow) || parser.isSet(unfollow)) {
        if (const auto error = zoneFollowError(parser, follow, unfollow, words, command))
            return usage(*error);
    }
    if (parser.isSet(ifChanged)) {
        if (command.kind != CommandKind::SendZones)
            return usage(QStringLiteral("--if-changed belongs to the send-zones command"));
        command.ifChanged = true;
    }
    if (parser.isSet(requireSynced)) {
        if (command.kind != CommandKind::Sync)
            return usage(QStringLiteral("--require-synced belongs to the sync command"));
        command.requireSynced = true;
    }
    return command;
}

QString helpText() {
    return QStringLiteral(
               "Usage: qev [COMMAND [OPTIONS]]\n"
               "Configures a clock device on a serial port. Without a command, opens the window.\n"
               "\n"
               "Commands:\n"
               "  sync              Set the device's date and time from this computer's clock "
               "(UTC),\n"
               "                    timed so that the device shows each new second as it starts\n"
               "  send-zones        Send the zone list kept by the window, each zone that\n"
               "                    follows a time zone at the offset in force now\n"
               "  zones             List the sixteen zones: line, time zone followed, offset "
               "now and\n"
               "                    next change\n"
               "  zones --follow N ZONE\n"
               "                    Let zone N (0 to 15) follow the time zone ZONE, an IANA "
               "name such\n"
               "                    as Europe/London\n"
               "  zones --unfollow N\n"
               "                    Let zone N keep a fixed offset again\n"
               "  ports             List the ports COM1 to COM50 that are present: each one's "
               "device\n"
               "                    and what it is\n") +
           linkCommandsHelp() +
           QStringLiteral(
               "\n"
               "Options:\n"
               "  --port COMn       Send on port n (1 to 50) instead of the window's port choice;\n"
               "                    give it again, or COM1,COM3, to send to several at once\n"
               "  --require-synced  sync: send nothing unless this computer's clock is known to "
               "be\n"
               "                    synchronised\n"
               "  --if-changed      send-zones: send only when the configuration for now "
               "differs\n"
               "                    from the last one sent to that port\n"
               "  -h, --help        Show this help and exit\n"
               "  -v, --version     Show the version and exit\n"
               "\n"
               "Exit status: 0 when sent, 1 when nothing or not all was sent (the reason is on\n"
               "standard error), 2 for a wrong command line, 128 + n when stopped by signal n.\n"
               "With several ports each gets its own message at once (the time on the same\n"
               "second), and a line on standard output tells what each port got; 1 when any\n"
               "port did not get its message.\n") +
           placesHelp();
}

QString versionText() {
    return QStringLiteral("qev %1\n").arg(kVersion);
}

QString portLabel(quint16 port, const QString& device) {
    return QStringLiteral("COM%1 (%2)").arg(port).arg(device);
}

QString timeSentWhat(qint64 secondSinceEpoch) {
    const QDateTime at = QDateTime::fromSecsSinceEpoch(secondSinceEpoch, Qt::UTC);
    return QStringLiteral("the time %1 UTC")
        .arg(at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

QString zonesSentWhat(qsizetype zoneCount) {
    return QStringLiteral("the zone configuration (%1 zones)").arg(zoneCount);
}

QString messageWhat(const QByteArray& message) {
    if (message.size() == 82 && message.front() == '\xEE')
        return zonesSentWhat(16);
    if (message.size() == 14 && message.front() == '\x02') {
        const QString s = QString::fromLatin1(message);
        return QStringLiteral("the time %1:%2:%3 UTC of %4/%5/%6")
            .arg(s.mid(1, 2), s.mid(3, 2), s.mid(5, 2), s.mid(7, 2), s.mid(9, 2), s.mid(11, 2));
    }
    return QStringLiteral("a message of %1 bytes").arg(message.size());
}

QString portSentText(const QString& what, const QString& device, bool deliveryKnown) {
    if (deliveryKnown)
        return QStringLiteral("sent %1 to %2").arg(what, device);
    return QStringLiteral(
               "wrote %1 to %2, a pseudo-terminal; whether the program at its other end has "
               "read it cannot be known")
        .arg(what, device);
}

QString sentText(const QString& what, quint16 port, const QString& device, bool deliveryKnown) {
    if (deliveryKnown)
        return QStringLiteral("Sent %1 to %2\n").arg(what, portLabel(port, device));
    return QStringLiteral(
               "Wrote %1 to %2, a pseudo-terminal; whether the program at its other "
               "end has read it cannot be known\n")
        .arg(what, portLabel(port, device));
}

}  // namespace qev
