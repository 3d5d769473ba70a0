#pragma once
// One send of a command on each of its ports: every port on a thread of its own, so that the
// clocks get their messages together (a slow server holds up no other port), and what each
// port got, told in port order.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QTextStream;

namespace qev {

class TComPort;
class Transmitter;

// What one port's send came to.
struct PortOutcome {
    quint16 port = 0;
    int status = 0;  // 0 sent (or nothing to send), 1 not sent, 128 + n stopped by signal n
    QString device;  // what the port leads to, for messages
    QString what;    // what was sent: "the time 2026-03-07 12:34:56 UTC"
    bool deliveryKnown = true;
    QString nothingSent;   // why nothing needed sending (send-zones --if-changed)
    QStringList problems;  // why not sent: one sentence each, without the port's name
    QString stopped;       // the stop signal's name, when one ended it
    bool sent() const { return status == 0 && nothingSent.isEmpty(); }
};

// The work of a send on a port whose component and transmitter are set up as the commands set
// them (no prompt; a stop signal ends it); returns what it sent.
using PortWork = std::function<QString(quint16 port, TComPort& com, Transmitter& transmitter)>;

// Runs work on port n; its failures become the outcome's problems.
PortOutcome sendOn(quint16 n, const PortWork& work);
// Runs work on every port at once, one thread each; the outcomes in the order of ports.
QList<PortOutcome> sendOnEach(const QList<quint16>& ports, const PortWork& work);

// Tells a single port's outcome as the commands always have: the line on out, the problems
// on err after "qev: COMn: ".
void tellOutcome(const PortOutcome& outcome, QTextStream& out, QTextStream& err);
// Tells several: one line per port on out ("COM3: sent ...", "COM3: not sent: ..."), and on
// err which ports did not get their message.
void tellOutcomes(const QList<PortOutcome>& outcomes, QTextStream& out, QTextStream& err);
// The exit status of them all: a stop signal's, else 1 when any port was not sent to, else 0.
int outcomesStatus(const QList<PortOutcome>& outcomes);

}  // namespace qev
