#include "cli/cli_commands.h"

#include "base/error_text.h"
#include "cli/port_sends.h"
#include "cli/ports_command.h"
#include "cli/sent_record.h"
#include "cli/stop_signals.h"
#include "cli/zones_command.h"
#include "ports/device_naming.h"
#include "ports/port_assignment.h"
#include "protocol/date_time_value.h"
#include "protocol/messages.h"
#include "protocol/zone_line.h"
#include "serial/com_port.h"
#include "serial/transmitter.h"
#include "settings/main_form_settings.h"
#include "settings/platform_backend.h"
#include "settings/settings_errors.h"
#include "settings/settings_store.h"
#include "timezones/offset_changes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QTextStream>

#include <algorithm>
#include <barrier>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

namespace qev {

namespace {

QString noPortText() {
    return withFinalPeriod(QStringLiteral(
        "No port is chosen: give one with --port COMn, or choose one in QEV's window"));
}

std::unique_ptr<TSettingsStore> openStore(const CommandContext& context) {
    return std::make_unique<TSettingsStore>(createReadOnlySettingsBackend(context.settingsFile));
}

QByteArray timeSetMessageFor(qint64 second) {
    const QDateTime at = QDateTime::fromSecsSinceEpoch(second, Qt::UTC);
    return buildTimeSetMessage(valueOfDateTime(at.date(), at.time()),
                               at.time().toString(QStringLiteral("hh:mm:ss")));
}

// The ports a send command uses: --port, else the window's choice. Empty, with the reason
// told, when there is none.
QList<quint16> commandPorts(const Command& command, CommandContext& context) {
    if (!command.ports.isEmpty())
        return command.ports;
    try {
        const auto store = openStore(context);
        // Nothing stored: the window has never saved, and shows its first choice, Com 1.
        const int index = storedPortIndex(*store).value_or(0);
        if (index >= 0)
            return {quint16(index + 1)};
        context.err << QStringLiteral("qev: %1\n").arg(noPortText());
    } catch (...) {
        context.err << QStringLiteral("qev: %1\n").arg(commandErrorText(std::current_exception()));
    }
    return {};
}

int tellAll(const QList<PortOutcome>& outcomes, CommandContext& context) {
    if (outcomes.size() == 1) {
        tellOutcome(outcomes.first(), context.out, context.err);
        return outcomes.first().status;
    }
    tellOutcomes(outcomes, context.out, context.err);
    return outcomesStatus(outcomes);
}

// Ports that lead to the same device as an earlier one: that device gets one message, and the
// later number is told as sent with the first.
QList<quint16> distinctDevices(const QList<quint16>& ports, QHash<quint16, quint16>& sameAs) {
    QList<quint16> distinct;
    QHash<QString, quint16> first;
    for (const quint16 n : ports) {
        const QString device = portDevice(n);
        if (const auto it = first.constFind(device); it != first.cend() && !device.isEmpty()) {
            sameAs.insert(n, *it);
            continue;
        }
        first.insert(device, n);
        distinct << n;
    }
    return distinct;
}

// What a send to several ports is told of along the way, on the command's thread.
struct SendHooks {
    // Before the sends begin: how many of them there are (ports that lead to one device share).
    std::function<void(qsizetype sends)> starting;
    // Each outcome as it is known.
    std::function<void(PortOutcome&)> done;
};

// Sends work on the ports due and tells what each port got, settled ones (with nothing to
// send) among them: as always for one port, a line each for several.
int sendToPorts(const QList<quint16>& due, CommandContext& context, const PortWork& work,
                const SendHooks& hooks = {}, QList<PortOutcome> settled = {}) {
    // An adapter plugged in since the last listing gets its number first.
    const PortAssignment assignment = assignPortNumbers();
    if (!assignment.problem.isEmpty())
        context.err
            << QStringLiteral("qev: warning: %1\n").arg(withFinalPeriod(assignment.problem));
    QHash<quint16, quint16> sameAs;
    const QList<quint16> distinct = distinctDevices(due, sameAs);
    if (hooks.starting)
        hooks.starting(distinct.size());
    QList<PortOutcome> outcomes = distinct.size() == 1
                                      ? QList<PortOutcome>{sendOn(distinct.first(), work)}
                                      : sendOnEach(distinct, work);
    for (PortOutcome& outcome : outcomes) {
        if (hooks.done)
            hooks.done(outcome);
    }
    outcomes += settled;
    for (auto it = sameAs.cbegin(); it != sameAs.cend(); ++it) {
        for (const PortOutcome& o : std::as_const(outcomes)) {
            if (o.port != it.value())
                continue;
            PortOutcome copy = o;
            copy.port = it.key();
            if (!copy.nothingSent.isEmpty() || !copy.what.isEmpty())
                copy.what += QStringLiteral(" (with COM%1, which leads there too)").arg(o.port);
            outcomes << copy;
            break;
        }
    }
    std::sort(outcomes.begin(), outcomes.end(),
              [](const PortOutcome& a, const PortOutcome& b) { return a.port < b.port; });
    return tellAll(outcomes, context);
}

int sync(const Command& command, CommandContext& context) {
    const QList<quint16> ports = commandPorts(command, context);
    if (ports.isEmpty())
        return 1;
    const ClockSync state = context.clockSync ? context.clockSync() : ClockSync::Unknown;
    if (state == ClockSync::Unknown && command.requireSynced) {
        context.err << QStringLiteral(
                           "qev: Whether this computer's clock is synchronised cannot be told "
                           "(%1), so nothing was sent. Leave out --require-synced to send all "
                           "the same.\n")
                           .arg(clockSyncUnknownReason());
        return 1;
    }
    if (state == ClockSync::Unsynced) {
        if (command.requireSynced) {
            context.err << QStringLiteral(
                "qev: This computer's clock is not synchronised, so nothing was sent. Start its "
                "time synchronisation (systemd-timesyncd, chrony or ntpd), or leave out "
                "--require-synced.\n");
            return 1;
        }
        context.err << QStringLiteral(
            "qev: warning: this computer's clock is not synchronised; the device is set from it "
            "all the same (--require-synced refuses instead).\n");
    }
    context.err.flush();
    if (ports.size() == 1) {
        return sendToPorts(ports, context, [](quint16 n, TComPort&, Transmitter& transmitter) {
            const SyncPlan plan =
                transmitter.sendOnSecond(n - 1, kTimeSetMessageSize, &timeSetMessageFor);
            transmitter.finishTimed();
            return timeSentWhat(plan.second);
        });
    }
    // Every port is opened first, each on its own thread; once all are open (or have failed)
    // one second is planned for all, so that every clock shows it at the same instant.
    SyncPlan plan;
    QByteArray message;
    const auto planForAll = [&]() noexcept {
        plan = planSync(realtimeNowNs(), wireTimeNs(kTimeSetMessageSize, kClockBaud),
                        Transmitter::leadNs());
        message = timeSetMessageFor(plan.second);
    };
    // One arrival per send, which is known once the ports that share a device are found.
    std::optional<std::barrier<decltype(planForAll)>> opened;
    const auto work = [&](quint16 n, TComPort& com, Transmitter& transmitter) {
        bool arrived = false;
        const auto leave = qScopeGuard([&] {
            if (!arrived)
                opened->arrive_and_drop();
        });
        com.setComNumber(n);
        com.setOpen(true);
        arrived = true;
        opened->arrive_and_wait();
        transmitter.sendPlanned(n - 1, plan, message);
        transmitter.finishTimed();
        return timeSentWhat(plan.second);
    };
    return sendToPorts(ports, context, work,
                       {[&](qsizetype sends) { opened.emplace(sends, planForAll); }, {}});
}

int sendZones(const Command& command, CommandContext& context) {
    QByteArray message;
    const qint64 now = context.now().toSecsSinceEpoch();
    try {
        const auto store = openStore(context);
        message = storedZoneMessage(zoneLinesAt(*store, now, context.err),
                                    settingsPlace(context.settingsFile));
    } catch (...) {
        context.err << QStringLiteral("qev: %1\n").arg(commandErrorText(std::current_exception()));
        return 1;
    }
    const QList<quint16> ports = commandPorts(command, context);
    if (ports.isEmpty())
        return 1;
    QList<quint16> due;
    QList<PortOutcome> settled;
    for (const quint16 n : ports) {
        const std::optional<SentRecord> last =
            command.ifChanged ? readSentRecord(n) : std::optional<SentRecord>();
        if (!last || last->message != message) {
            due << n;
            continue;
        }
        // Nothing to do, and no port is opened for it.
        PortOutcome outcome;
        outcome.port = n;
        outcome.device = portDevice(n);
        const QString text =
            QStringLiteral("the zone configuration for now is the one sent to it at %1")
                .arg(utcText(last->sentAt));
        outcome.nothingSent =
            ports.size() == 1
                ? QStringLiteral("Nothing sent to %1: %2").arg(portLabel(n, outcome.device), text)
                : text;
        settled << outcome;
    }
    if (due.isEmpty())
        return tellAll(settled, context);
    const auto record = [&](PortOutcome& outcome) {
        if (outcome.status != 0)
            return;
        const QString failure = writeSentRecord(outcome.port, {message, now});
        if (!failure.isEmpty())
            context.err << QStringLiteral(
                               "qev: warning: what was sent to COM%1 could not be recorded (%2), "
                               "so the next send-zones --if-changed sends it again.\n")
                               .arg(outcome.port)
                               .arg(failure);
    };
    return sendToPorts(
        due, context,
        [&message](quint16 n, TComPort&, Transmitter& transmitter) {
            transmitter.send(n - 1, message);
            return zonesSentWhat(kZoneCount);
        },
        {{}, record}, settled);
}

}  // namespace

QByteArray storedZoneMessage(const QStringList& lines, const QString& storedIn) {
    // What mends it in the window, named as its menu names it.
    const QString resetZone = QStringLiteral(
        "In QEV's window, right-click that zone and choose \"Reset Zone\", or edit it");
    const auto cannotSend = [&storedIn](const QString& what, const QString& mend) {
        return EStoreError(QStringLiteral("The zone list stored in \"%1\" cannot be sent: %2. %3")
                               .arg(QDir::toNativeSeparators(storedIn), what, mend));
    };
    if (lines.size() < kZoneCount)
        throw cannotSend(QStringLiteral("it holds %1 lines, and the device takes %2")
                             .arg(lines.size())
                             .arg(kZoneCount),
                         QStringLiteral("In QEV's window, right-click the zone list and choose "
                                        "\"Restore Missing Zones\""));
    // The window's list numbers its lines from 00, as the zone names do.
    for (int k = 0; k < kZoneCount; ++k) {
        try {
            readForTransmission(lines.at(k));
        } catch (const Exception& e) {
            throw cannotSend(QStringLiteral("zone line %1 (\"%2\"): %3")
                                 .arg(k, 2, 10, QLatin1Char('0'))
                                 .arg(lines.at(k), e.message()),
                             resetZone);
        }
    }
    try {
        return buildZoneConfigMessage(lines);
    } catch (const EZoneValueError& e) {
        // Its text names the line already.
        throw EStoreError(QStringLiteral("The zone list stored in \"%1\" cannot be sent. %2")
                              .arg(QDir::toNativeSeparators(storedIn), e.message()));
    }
}

QString commandErrorText(std::exception_ptr error) {
    return errorDisplayText(error).value_or(QStringLiteral("Operation aborted."));
}

QString portDevice(quint16 port) {
    const QString path = portPath(port);
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
}

int runCommand(const Command& command, CommandContext& context) {
    switch (command.kind) {
        case CommandKind::Help:
            context.out << helpText();
            return 0;
        case CommandKind::Version:
            context.out << versionText();
            return 0;
        case CommandKind::UsageError:
            context.err << QStringLiteral("qev: %1\nTry \"qev --help\" for more information.\n")
                               .arg(withFinalPeriod(command.error));
            return 2;
        case CommandKind::Ports:
            return runPortsCommand(command, context);
        case CommandKind::Zones:
            return runZonesCommand(command, context);
        case CommandKind::Sync:
            return sync(command, context);
        case CommandKind::SendZones:
            return sendZones(command, context);
        case CommandKind::Window:
            break;
    }
    return 2;
}

std::optional<int> runCommandIfAsked(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!wantsCommandLine(arguments))
        return std::nullopt;
    QCoreApplication app(argc, argv);
    return runCommandLine(QCoreApplication::arguments());
}

int runCommandLine(const QStringList& arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandContext context{out, err, systemClockSync, QString()};
    const StopSignals stopSignals;
    const int status = runCommand(parseCommandLine(arguments), context);
    out.flush();
    errno = 0;
    // What was to be printed did not all arrive (a full disk, a closed pipe): that is a failure,
    // as for any other command-line tool.
    const bool written = out.status() == QTextStream::Ok && std::fflush(stdout) == 0;
    const int error = errno;
    if (!written) {
        err << QStringLiteral("qev: standard output: %1\n")
                   .arg(error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                                   : QStringLiteral("it could not be written"));
    }
    err.flush();
    return written || status != 0 ? status : 1;
}

}  // namespace qev
