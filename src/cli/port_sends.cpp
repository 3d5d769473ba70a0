#include "cli/port_sends.h"

#include "base/error_text.h"
#include "cli/cli_commands.h"
#include "cli/command_line.h"
#include "cli/stop_signals.h"
#include "serial/com_port.h"
#include "serial/transmitter.h"

#include <QTextStream>
#include <QThread>

#include <memory>
#include <mutex>
#include <utility>

namespace qev {

namespace {

bool stopAsked() {
    return StopSignals::caught() != 0;
}

// The port component as the window sets it up, except that it never prompts, and a worker
// thread's failure fails the send; it is kept for the outcome (told on the command's thread).
class CommandPort {
public:
    CommandPort() {
        setUpClockPort(com_);
        com_.setPromptForPort(false);
        com_.setThreadErrorHandler([this](const ThreadFailure& failure) {
            std::lock_guard lock(mutex_);
            failures_ << oneLine(failure.text());
        });
    }
    TComPort& port() { return com_; }
    QStringList takeFailures() {
        std::lock_guard lock(mutex_);
        return std::exchange(failures_, {});
    }

private:
    std::mutex mutex_;
    QStringList failures_;
    TComPort com_;  // last: closed, and its threads stopped, before the failures go
};

int stoppedStatus() {
    return 128 + StopSignals::caught();
}

QString stopName() {
    return QString::fromLatin1(StopSignals::name(StopSignals::caught()));
}

}  // namespace

PortOutcome sendOn(quint16 n, const PortWork& work) {
    PortOutcome outcome;
    outcome.port = n;
    outcome.device = portDevice(n);
    CommandPort port;
    try {
        Transmitter transmitter(port.port());
        transmitter.setCancelled(stopAsked);
        outcome.what = work(n, port.port(), transmitter);
        outcome.deliveryKnown = port.port().DeliveryKnown();
    } catch (const EReported&) {
        // What the writer said is all there is to tell.
        outcome.status = 1;
    } catch (const EAbort&) {
        outcome.status = 1;
        if (!stopAsked())
            outcome.problems << QStringLiteral("Operation aborted.");
    } catch (...) {
        outcome.status = 1;
        outcome.problems << oneLine(commandErrorText(std::current_exception()));
    }
    const QStringList failures = port.takeFailures();
    if (!failures.isEmpty())
        outcome.status = 1;
    outcome.problems = failures + outcome.problems;
    if (stopAsked()) {
        outcome.stopped = stopName();
        outcome.status = stoppedStatus();
    }
    return outcome;
}

QList<PortOutcome> sendOnEach(const QList<quint16>& ports, const PortWork& work) {
    QList<PortOutcome> outcomes(ports.size());
    std::vector<std::unique_ptr<QThread>> threads;
    threads.reserve(size_t(ports.size()));
    for (qsizetype i = 0; i < ports.size(); ++i) {
        // A thread of Qt's, so that a port's timer may be started on it.
        threads.emplace_back(QThread::create(
            [&outcomes, &ports, &work, i] { outcomes[i] = sendOn(ports.at(i), work); }));
        threads.back()->start();
    }
    for (const auto& thread : threads)
        thread->wait();
    return outcomes;
}

void tellOutcome(const PortOutcome& o, QTextStream& out, QTextStream& err) {
    for (const QString& problem : o.problems)
        err << QStringLiteral("qev: COM%1: %2\n").arg(o.port).arg(problem);
    if (!o.nothingSent.isEmpty())
        out << o.nothingSent << u'\n';
    else if (o.status == 0 || (!o.stopped.isEmpty() && o.problems.isEmpty() && !o.what.isEmpty()))
        out << sentText(o.what, o.port, o.device, o.deliveryKnown);
    if (!o.stopped.isEmpty()) {
        out.flush();
        err << QStringLiteral("qev: COM%1: stopped by %2; %3\n")
                   .arg(o.port)
                   .arg(o.stopped, !o.what.isEmpty() ? QStringLiteral("the message had left whole")
                                                     : QStringLiteral("nothing was sent"));
    }
}

void tellOutcomes(const QList<PortOutcome>& outcomes, QTextStream& out, QTextStream& err) {
    QStringList missed;
    for (const PortOutcome& o : outcomes) {
        const QString name = QStringLiteral("COM%1").arg(o.port);
        if (!o.nothingSent.isEmpty()) {
            out << name << QStringLiteral(": nothing sent: ") << o.nothingSent << u'\n';
        } else if (!o.what.isEmpty() && o.problems.isEmpty()) {
            out << name << QStringLiteral(": ") << portSentText(o.what, o.device, o.deliveryKnown);
            if (!o.stopped.isEmpty())
                out << QStringLiteral("; then stopped by ") << o.stopped;
            out << u'\n';
        } else {
            QStringList why = o.problems;
            if (!o.stopped.isEmpty())
                why << QStringLiteral("stopped by %1.").arg(o.stopped);
            out << name << QStringLiteral(": not sent: ") << why.join(u' ') << u'\n';
            missed << name;
        }
    }
    if (!missed.isEmpty()) {
        out.flush();
        err << QStringLiteral("qev: not sent to %1 of %2 ports: %3.\n")
                   .arg(missed.size())
                   .arg(outcomes.size())
                   .arg(missed.join(QStringLiteral(", ")));
    }
}

int outcomesStatus(const QList<PortOutcome>& outcomes) {
    int status = 0;
    for (const PortOutcome& o : outcomes) {
        if (o.status > 1)
            return o.status;
        status = std::max(status, o.status);
    }
    return status;
}

}  // namespace qev
