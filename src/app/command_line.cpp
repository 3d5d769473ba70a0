#include "app/command_line.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QRegularExpression>

#ifndef QEV_VERSION
#define QEV_VERSION "1.0"
#endif

namespace qev {

bool wantsCommandLine(const QStringList& arguments) {
    if (arguments.isEmpty())
        return false;
    const QString& first = arguments.first();
    const bool toolkitOption = first.startsWith(u'-') && !first.startsWith(QStringLiteral("--")) &&
                               first != QStringLiteral("-h") && first != QStringLiteral("-v") &&
                               first != QStringLiteral("-?");
    return !toolkitOption;
}

std::optional<quint16> parsePortName(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(?:COM)?([0-9]{1,5})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const uint n = match.captured(1).toUInt();
    if (n < 1 || n > kMaxCommandPort)
        return std::nullopt;
    return quint16(n);
}

Command parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, {});
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("COMn"));
    const QCommandLineOption requireSynced(QStringLiteral("require-synced"), {});
    parser.addOptions({help, version, port, requireSynced});

    Command command;
    const auto usage = [&command](const QString& error) {
        command.kind = CommandKind::UsageError;
        command.error = error;
        return command;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help) || parser.isSet(version)) {
        command.kind = parser.isSet(help) ? CommandKind::Help : CommandKind::Version;
        return command;
    }

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return usage(QStringLiteral("No command given: use sync, send-zones or ports"));
    if (words.size() > 1)
        return usage(QStringLiteral("Unexpected argument \"%1\"").arg(words.at(1)));
    const QString& word = words.first();
    if (word == QStringLiteral("sync"))
        command.kind = CommandKind::Sync;
    else if (word == QStringLiteral("send-zones"))
        command.kind = CommandKind::SendZones;
    else if (word == QStringLiteral("ports"))
        command.kind = CommandKind::Ports;
    else
        return usage(
            QStringLiteral("Unknown command \"%1\": use sync, send-zones or ports").arg(word));

    if (parser.isSet(port)) {
        if (command.kind == CommandKind::Ports)
            return usage(QStringLiteral("The ports command takes no --port"));
        const QStringList values = parser.values(port);
        if (values.size() > 1)
            return usage(QStringLiteral("--port is given more than once"));
        command.port = parsePortName(values.first());
        if (!command.port)
            return usage(QStringLiteral("\"%1\" is no port: give --port COM1 to COM%2")
                             .arg(values.first())
                             .arg(kMaxCommandPort));
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
        "  sync              Set the device's date and time from this computer's clock (UTC),\n"
        "                    timed so that the device shows each new second as it starts\n"
        "  send-zones        Send the zone list kept by the window\n"
        "  ports             List the ports COM1 to COM50 that are present, with their devices\n"
        "\n"
        "Options:\n"
        "  --port COMn       Send on port n (1 to 50) instead of the window's port choice\n"
        "  --require-synced  sync: send nothing unless this computer's clock is synchronised\n"
        "  -h, --help        Show this help and exit\n"
        "  -v, --version     Show the version and exit\n"
        "\n"
        "Exit status: 0 when sent, 1 when nothing or not all was sent (the reason is on\n"
        "standard error), 2 for a wrong command line.\n"
        "The window's choices are read from $XDG_CONFIG_HOME/QEV/settings.reg and never\n"
        "changed; port n is the link $XDG_CONFIG_HOME/QEV/ports/COMn, or /dev/ttyS<n-1>.\n");
}

QString versionText() {
    return QStringLiteral("qev %1\n").arg(QStringLiteral(QEV_VERSION));
}

QString portLabel(quint16 port, const QString& device) {
    return QStringLiteral("COM%1 (%2)").arg(port).arg(device);
}

QString syncSentText(qint64 secondSinceEpoch, quint16 port, const QString& device) {
    const QDateTime at = QDateTime::fromSecsSinceEpoch(secondSinceEpoch, Qt::UTC);
    return QStringLiteral("Sent the time %1 UTC to %2\n")
        .arg(at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), portLabel(port, device));
}

QString zonesSentText(qsizetype zoneCount, quint16 port, const QString& device) {
    return QStringLiteral("Sent the zone configuration (%1 zones) to %2\n")
        .arg(zoneCount)
        .arg(portLabel(port, device));
}

}  // namespace qev
