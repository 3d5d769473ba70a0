#include "serial/telnet_com_port.h"

#include <initializer_list>
#include <utility>

namespace qev {

using namespace telnet;

namespace {

QByteArray bytes(std::initializer_list<quint8> values) {
    QByteArray out;
    for (const quint8 v : values)
        out.append(char(v));
    return out;
}

QByteArray triple(quint8 verb, quint8 option) {
    return bytes({kIac, verb, option});
}

// The options this client does itself, and those it asks of the server.
bool clientDoes(quint8 option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}
bool clientWants(quint8 option) {
    return option == kBinary || option == kSuppressGoAhead;
}

}  // namespace

QByteArray TelnetComPort::greeting() {
    willing_[kComPort] = willing_[kBinary] = willing_[kSuppressGoAhead] = true;
    asked_[kBinary] = asked_[kSuppressGoAhead] = true;
    return triple(kWill, kComPort) + triple(kWill, kBinary) + triple(kDo, kBinary) +
           triple(kWill, kSuppressGoAhead) + triple(kDo, kSuppressGoAhead);
}

QByteArray TelnetComPort::escaped(const char* data, qint64 length) {
    QByteArray out;
    out.reserve(length + 8);
    for (qint64 i = 0; i < length; ++i) {
        out.append(data[i]);
        if (quint8(data[i]) == kIac)
            out.append(char(kIac));
    }
    return out;
}

QByteArray TelnetComPort::command(quint8 command, const QByteArray& value) {
    return bytes({kIac, kSb, kComPort, command}) + escaped(value.constData(), value.size()) +
           bytes({kIac, kSe});
}

QByteArray TelnetComPort::command(quint8 command, quint8 value) {
    return TelnetComPort::command(command, QByteArray(1, char(value)));
}

QByteArray TelnetComPort::baudValue(quint32 baud) {
    return bytes({quint8(baud >> 24), quint8(baud >> 16), quint8(baud >> 8), quint8(baud)});
}

std::optional<QByteArray> TelnetComPort::takeAnswer(quint8 command) {
    return std::exchange(answers_[command], std::nullopt);
}

void TelnetComPort::feed(const char* bytes, qint64 length, QByteArray& data, QByteArray& reply) {
    for (qint64 i = 0; i < length; ++i) {
        const quint8 c = quint8(bytes[i]);
        switch (state_) {
            case State::Data:
                if (c == kIac)
                    state_ = State::Iac;
                else
                    data.append(char(c));
                break;
            case State::Iac:
                if (c == kIac) {
                    data.append(char(c));
                    state_ = State::Data;
                } else if (c == kSb) {
                    sub_.clear();
                    state_ = State::Sub;
                } else if (c >= kWill && c <= kDont) {
                    verb_ = c;
                    state_ = State::Verb;
                } else {
                    state_ = State::Data;  // NOP, GA and the like carry nothing for a port
                }
                break;
            case State::Verb:
                negotiate(verb_, c, reply);
                state_ = State::Data;
                break;
            case State::Sub:
                if (c == kIac)
                    state_ = State::SubIac;
                else
                    sub_.append(char(c));
                break;
            case State::SubIac:
                if (c == kSe) {
                    subnegotiation();
                    state_ = State::Data;
                } else {
                    sub_.append(char(c));  // IAC IAC: a 0xFF of the value
                    state_ = State::Sub;
                }
                break;
        }
    }
}

// Replies only where the option's state changes, so two ends never answer each other for ever.
void TelnetComPort::negotiate(quint8 verb, quint8 option, QByteArray& reply) {
    switch (verb) {
        case kDo:
            if (option == kComPort)
                comPort_ = true;
            if (!clientDoes(option))
                reply += triple(kWont, option);
            else if (!willing_[option])
                reply += triple(kWill, option);
            willing_[option] = clientDoes(option);
            break;
        case kDont:
            if (option == kComPort)
                comPort_ = false;
            if (willing_[option])
                reply += triple(kWont, option);
            willing_[option] = false;
            break;
        case kWill:
            if (!clientWants(option))
                reply += triple(kDont, option);
            else if (!asked_[option])
                reply += triple(kDo, option);
            asked_[option] = clientWants(option);
            break;
        case kWont:
            if (asked_[option])
                reply += triple(kDont, option);
            asked_[option] = false;
            break;
        default:
            break;
    }
}

void TelnetComPort::subnegotiation() {
    if (sub_.size() < 2 || quint8(sub_.at(0)) != kComPort)
        return;
    const quint8 command = quint8(sub_.at(1));
    if (command == kFlowControlSuspend + kServerOffset)
        suspended_ = true;
    else if (command == kFlowControlResume + kServerOffset)
        suspended_ = false;
    else if (command > kServerOffset)
        answers_[command - kServerOffset] = sub_.mid(2);
}

}  // namespace qev
