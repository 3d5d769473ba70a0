#include "ports/network_port.h"

#include <QRegularExpression>

namespace qev {

namespace {

const QRegularExpression& addressForm() {
    // scheme://host:port, host a name, an IPv4 address or a bracketed IPv6 address.
    static const QRegularExpression form(
        QStringLiteral(
            "^(tcp|rfc2217)://(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9._-]+)):([0-9]{1,5})$"),
        QRegularExpression::CaseInsensitiveOption);
    return form;
}

}  // namespace

QString NetworkPort::text() const {
    return (protocol == Rfc2217 ? QStringLiteral("rfc2217://") : QStringLiteral("tcp://")) +
           endpoint();
}

QString NetworkPort::endpoint() const {
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

std::optional<NetworkPort> parseNetworkPort(const QString& text) {
    const auto match = addressForm().match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const uint number = match.captured(4).toUInt();
    if (number == 0 || number > 0xFFFF)
        return std::nullopt;
    NetworkPort port;
    port.protocol = match.captured(1).compare(QStringLiteral("rfc2217"), Qt::CaseInsensitive) == 0
                        ? NetworkPort::Rfc2217
                        : NetworkPort::RawTcp;
    port.host = match.captured(2).isEmpty() ? match.captured(3) : match.captured(2);
    port.port = quint16(number);
    return port;
}

bool looksLikeNetworkPort(const QString& text) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(text).hasMatch();
}

QString networkPortError(const QString& text) {
    if (parseNetworkPort(text))
        return {};
    static const QRegularExpression known(QStringLiteral("^(tcp|rfc2217)://"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (!known.match(text).hasMatch())
        return QStringLiteral(
                   "\"%1\" is no server QEV can reach: a serial device server is "
                   "tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT (RFC 2217)")
            .arg(text);
    return QStringLiteral(
               "\"%1\" is no server's address: give the host and a port from 1 to 65535, as in "
               "rfc2217://clock-hall:2217 or tcp://[2001:db8::7]:4001")
        .arg(text);
}

QString networkPortDescription(const NetworkPort& port) {
    return port.protocol == NetworkPort::Rfc2217 ? QStringLiteral("serial device server (RFC 2217)")
                                                 : QStringLiteral("serial device server (raw TCP)");
}

}  // namespace qev
