#include "cli/cli_commands.h"

#include "base/error_text.h"
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
#include <QTextStream>

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

// The port component as the window sets it up, except that it never prompts, and a worker
// thread's failure fails the command; it is kept for the command to tell (on its own thread).
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
    // Tells the failures of the port's threads on err; false when there were none.
    bool tellFailures(quint16 n, QTextStream& err) {
        std::lock_guard lock(mutex_);
        for (const QString& failure : failures_)
            err << QStringLiteral("qev: COM%1: %2\n").arg(n).arg(failure);
        return !std::exchange(failures_, {}).isEmpty();
    }

private:
    std::mutex mutex_;
    QStringList failures_;
    TComPort com_;  // last: closed, and its threads stopped, before the failures go
};

std::unique_ptr<TSettingsStore> openStore(const CommandContext& context) {
    return std::make_unique<TSettingsStore>(createReadOnlySettingsBackend(context.settingsFile));
}

QByteArray timeSetMessageFor(qint64 second) {
    const QDateTime at = QDateTime::fromSecsSinceEpoch(second, Qt::UTC);
    return buildTimeSetMessage(valueOfDateTime(at.date(), at.time()),
                               at.time().toString(QStringLiteral("hh:mm:ss")));
}

// The port a send command uses: --port, else the window's choice. Fails with the reason told.
std::optional<quint16> commandPort(const Command& command, CommandContext& context) {
    if (command.port)
        return command.port;
    try {
        const auto store = openStore(context);
        // Nothing stored: the window has never saved, and shows its first choice, Com 1.
        const int index = storedPortIndex(*store).value_or(0);
        if (index >= 0)
            return quint16(index + 1);
        context.err << QStringLiteral("qev: %1\n").arg(noPortText());
    } catch (...) {
        context.err << QStringLiteral("qev: %1\n").arg(commandErrorText(std::current_exception()));
    }
    return std::nullopt;
}

// The exit status of a command stopped by a signal, as shells report one.
int stoppedStatus() {
    return 128 + StopSignals::caught();
}

QString stoppedText(quint16 n, bool sent) {
    return QStringLiteral("qev: COM%1: stopped by %2; %3\n")
        .arg(n)
        .arg(QString::fromLatin1(StopSignals::name(StopSignals::caught())),
             sent ? QStringLiteral("the message had left whole")
                  : QStringLiteral("nothing was sent"));
}

// Runs one send on port n through a transmitter that a stop signal ends; errors are told with
// the port's name, as a failed send. work returns what was sent, for sentText.
int send(quint16 n, CommandContext& context, const std::function<QString(Transmitter&)>& work) {
    // An adapter plugged in since the last listing gets its number first.
    const PortAssignment assignment = assignPortNumbers();
    if (!assignment.problem.isEmpty())
        context.err
            << QStringLiteral("qev: warning: %1\n").arg(withFinalPeriod(assignment.problem));
    CommandPort port;
    QString done;
    try {
        Transmitter transmitter(port.port());
        transmitter.setCancelled([] { return StopSignals::caught() != 0; });
        const QString what = work(transmitter);
        done = sentText(what, n, portDevice(n), port.port().DeliveryKnown());
    } catch (const EReported&) {
        // What the writer said is all there is to tell.
        port.tellFailures(n, context.err);
        return StopSignals::caught() != 0 ? stoppedStatus() : 1;
    } catch (const EAbort&) {
        port.tellFailures(n, context.err);
        if (StopSignals::caught() != 0) {
            context.err << stoppedText(n, false);
            return stoppedStatus();
        }
        context.err << QStringLiteral("qev: COM%1: Operation aborted.\n").arg(n);
        return 1;
    } catch (...) {
        port.tellFailures(n, context.err);
        context.err << QStringLiteral("qev: COM%1: %2\n")
                           .arg(n)
                           .arg(oneLine(commandErrorText(std::current_exception())));
        return StopSignals::caught() != 0 ? stoppedStatus() : 1;
    }
    if (port.tellFailures(n, context.err))
        return 1;
    context.out << done;
    if (StopSignals::caught() != 0) {
        context.out.flush();
        context.err << stoppedText(n, true);
        return stoppedStatus();
    }
    return 0;
}

int sync(const Command& command, CommandContext& context) {
    const std::optional<quint16> n = commandPort(command, context);
    if (!n)
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
    return send(*n, context, [n](Transmitter& transmitter) {
        const SyncPlan plan =
            transmitter.sendOnSecond(*n - 1, kTimeSetMessageSize, &timeSetMessageFor);
        transmitter.finishTimed();
        return timeSentWhat(plan.second);
    });
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
    const std::optional<quint16> n = commandPort(command, context);
    if (!n)
        return 1;
    if (command.ifChanged) {
        const std::optional<SentRecord> last = readSentRecord(*n);
        if (last && last->message == message) {
            // Nothing to do, and no port is opened for it.
            context.out << QStringLiteral(
                               "Nothing sent to %1: the zone configuration for now is the one "
                               "sent to it at %2\n")
                               .arg(portLabel(*n, portDevice(*n)), utcText(last->sentAt));
            return 0;
        }
    }
    const int status = send(*n, context, [n, &message](Transmitter& transmitter) {
        transmitter.send(*n - 1, message);
        return zonesSentWhat(kZoneCount);
    });
    if (status == 0) {
        const QString failure = writeSentRecord(*n, {message, now});
        if (!failure.isEmpty())
            context.err << QStringLiteral(
                               "qev: warning: what was sent could not be recorded (%1), so the "
                               "next send-zones --if-changed sends it again.\n")
                               .arg(failure);
    }
    return status;
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
    const QString path = resolveDeviceName(comDeviceName(port));
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
