#pragma once
// Test support: serial device servers on 127.0.0.1. A real ser2net serving a pseudo-terminal
// (an RFC 2217 accepter whose line starts at 9600 baud, and a raw one at 4800), and listeners
// that misbehave in the ways a network does.

#include "pty_pair.h"

#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <thread>

#include <termios.h>

namespace qev::test {

// A port on 127.0.0.1 that nothing listens on (it was free a moment ago).
quint16 freeTcpPort();

class Ser2Net {
public:
    Ser2Net();  // starts it and waits until both accepters take connections
    ~Ser2Net();
    Ser2Net(const Ser2Net&) = delete;
    Ser2Net& operator=(const Ser2Net&) = delete;

    bool running() const { return pid_ > 0; }
    QString rfc2217Url() const;
    QString tcpUrl() const;
    PtyPair& line() { return line_; }
    // The line's settings as ser2net left them on the pseudo-terminal.
    termios lineSettings() const;

private:
    PtyPair line_;
    QTemporaryDir pidDir_;
    quint16 rfc2217Port_ = 0;
    quint16 tcpPort_ = 0;
    int pid_ = -1;
};

// A listener that takes connections and then does as its kind says.
class FaultyServer {
public:
    enum Kind {
        Silent,         // answers nothing, reads everything
        CloseOnData,    // closes the connection at the first byte it gets
        RefuseRfc2217,  // answers the offer of RFC 2217 with DONT
        WrongBaud,      // speaks RFC 2217, but sets 9600 baud whatever is asked
        NeverAccepts,   // its queue is full: a connection is never answered
    };
    explicit FaultyServer(Kind kind);
    ~FaultyServer();
    FaultyServer(const FaultyServer&) = delete;
    FaultyServer& operator=(const FaultyServer&) = delete;

    QString url(const char* scheme) const;

private:
    void serve();
    Kind kind_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    int fillers_[4] = {-1, -1, -1, -1};
    quint16 port_ = 0;
    std::thread thread_;
};

}  // namespace qev::test
