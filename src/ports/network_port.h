#pragma once
// Ports behind a serial device server: a port may lead to "tcp://HOST:PORT" (raw TCP, the
// server's line set up by its owner) or "rfc2217://HOST:PORT" (QEV sets the line through the
// protocol). On Linux the COMn link's target is that text; on Windows it is kept in QEV's
// registry key, for COM numbers the system does not have.

#include <QString>

#include <optional>

namespace qev {

struct NetworkPort {
    enum Protocol { RawTcp, Rfc2217 };
    Protocol protocol = RawTcp;
    QString host;  // a name or an address; an IPv6 address without its brackets
    quint16 port = 0;

    // "rfc2217://clock-hall:2217", as it was given.
    QString text() const;
    // "clock-hall:2217" ("[::1]:2217"), for messages.
    QString endpoint() const;
    friend bool operator==(const NetworkPort&, const NetworkPort&) = default;
};

// The server a port name leads to; nothing for any other name.
std::optional<NetworkPort> parseNetworkPort(const QString& text);
// Whether text is meant as a server's address ("scheme://..."), well formed or not.
bool looksLikeNetworkPort(const QString& text);
// Why text is no server's address the ports take; empty when it is one.
QString networkPortError(const QString& text);

// What such a port is, for lists and tooltips: "serial device server (RFC 2217)".
QString networkPortDescription(const NetworkPort& port);

}  // namespace qev
