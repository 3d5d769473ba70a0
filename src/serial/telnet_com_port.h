#pragma once
// The Telnet side of a serial device server that speaks RFC 2217: the client's offers, the
// escaping of data, the line-setting commands, and the reading of what the server sends (data,
// option negotiation, the answers to settings, flow-control suspend and resume). Pure logic:
// the network device feeds it bytes and sends what it hands back.

#include <QByteArray>

#include <array>
#include <optional>

namespace qev {

namespace telnet {
inline constexpr quint8 kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                        kSe = 240;
inline constexpr quint8 kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// COM-PORT-OPTION commands, client to server; the server answers with the command + 100.
inline constexpr quint8 kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                        kSetControl = 5, kFlowControlSuspend = 8, kFlowControlResume = 9;
inline constexpr quint8 kServerOffset = 100;
// SET-CONTROL values.
inline constexpr quint8 kNoFlowControl = 1, kXonXoffFlowControl = 2, kHardwareFlowControl = 3,
                        kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12;
}  // namespace telnet

class TelnetComPort {
public:
    // What the client offers as the connection opens: to speak COM-PORT-OPTION, and binary
    // transmission both ways (the messages hold any byte, CR included).
    QByteArray greeting();
    // Data as it goes on the connection: each 0xFF doubled.
    static QByteArray escaped(const char* data, qint64 length);
    // A COM-PORT-OPTION command with its value (escaped).
    static QByteArray command(quint8 command, const QByteArray& value);
    static QByteArray command(quint8 command, quint8 value);
    static QByteArray baudValue(quint32 baud);

    // Reads what the server sent: its data is appended to data, the answers the negotiation
    // needs to reply.
    void feed(const char* bytes, qint64 length, QByteArray& data, QByteArray& reply);

    // Whether the server took COM-PORT-OPTION (DO) or refused it (DONT); nothing before it says.
    std::optional<bool> comPortAccepted() const { return comPort_; }
    // The value the server last answered a command with, until taken.
    std::optional<QByteArray> takeAnswer(quint8 command);
    // Whether the server asked the client to hold back data (FLOWCONTROL-SUSPEND).
    bool suspended() const { return suspended_; }

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    void negotiate(quint8 verb, quint8 option, QByteArray& reply);
    void subnegotiation();

    State state_ = State::Data;
    quint8 verb_ = 0;
    QByteArray sub_;
    std::array<bool, 256> willing_{};  // options the client has said WILL to, and not taken back
    std::array<bool, 256> asked_{};    // options the client has said DO to
    std::optional<bool> comPort_;
    std::array<std::optional<QByteArray>, 256> answers_{};
    bool suspended_ = false;
};

}  // namespace qev
