#pragma once
// The program's commands: what the arguments ask for, and the texts it answers with. No I/O here.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace qev {

enum class CommandKind { Window, Sync, SendZones, Ports, Zones, Help, Version, UsageError };

// What the ports command does besides listing: ports --link COMn DEVICE [--force], --unlink COMn.
enum class PortLinkAction { None, Link, Unlink };
// What the zones command does besides listing: zones --follow N ZONE, --unfollow N.
enum class ZoneFollowAction { None, Follow, Unfollow };

struct Command {
    CommandKind kind = CommandKind::Window;
    QList<quint16> ports;  // --port COMn (more than once, or COM1,COM3): ascending, once each
    bool requireSynced = false;
    PortLinkAction linkAction = PortLinkAction::None;
    quint16 linkPort = 0;    // n of --link / --unlink COMn
    QString linkDevice;      // DEVICE of --link
    bool force = false;      // --force: --link replaces an existing link
    bool ifChanged = false;  // send-zones --if-changed
    ZoneFollowAction followAction = ZoneFollowAction::None;
    int zone = -1;   // N of --follow / --unfollow, 0..15
    QString zoneId;  // ZONE of --follow, an IANA id
    QString error;   // for UsageError: what was wrong
};

// Whether the arguments (without the program's name) ask for a command rather than the window.
// No arguments, or only the toolkit's own options with their values ("-platform offscreen",
// "-style=fusion"), mean the window; anything else is for the command line, which refuses
// what it does not know ("-port COM1" included).
bool wantsCommandLine(const QStringList& arguments);

// Why the window cannot open for want of a display, when that is certain before the toolkit
// tries: no platform named (-platform, QT_QPA_PLATFORM) and no display in the environment.
std::optional<QString> displayMissing(const QStringList& arguments,
                                      const std::function<QString(const char*)>& environment);
// What the program says instead of opening the window without a display, with the reason.
QString noDisplayText(const QString& reason);

// The command of a full argument list (the program's name first).
Command parseCommandLine(const QStringList& arguments);

// "3" or "03" within 0..15, as the zone names number them; nothing otherwise.
std::optional<int> parseZoneNumber(const QString& text);

// "COM3", "com3" or "3" within 1..kMaxPortNumber (as the port prompt offers); nothing otherwise.
std::optional<quint16> parsePortName(const QString& text);

QString helpText();
QString versionText();

// What a send sent, as the line that tells of it names it: "the time 2026-03-07 12:34:56 UTC",
// "the zone configuration (16 zones)".
QString timeSentWhat(qint64 secondSinceEpoch);
QString zonesSentWhat(qsizetype zoneCount);
// The same read from a message as it was sent.
QString messageWhat(const QByteArray& message);
// The line a successful send prints. device: the path the port leads to. Where the device
// cannot tell that the message left (a pseudo-terminal), it says so instead of "Sent".
QString portLabel(quint16 port, const QString& device);
QString sentText(const QString& what, quint16 port, const QString& device,
                 bool deliveryKnown = true);
// The same as a line among several ports' lines tells it, after "COMn: ".
QString portSentText(const QString& what, const QString& device, bool deliveryKnown = true);

}  // namespace qev
