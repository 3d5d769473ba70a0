#include "cli/ports_command.h"

#include "base/error_text.h"
#include "cli/cli_commands.h"
#include "cli/command_line.h"
#include "ports/device_naming.h"
#include "ports/network_port.h"
#include "ports/port_description.h"

#include <QFileInfo>
#include <QTextStream>

namespace qev {

namespace {

int listPorts(CommandContext& context) {
    const PortAssignment assignment = assignPortNumbers();
    for (const quint16 n : assignment.assigned) {
        context.err << QStringLiteral("qev: COM%1 is new: it leads to \"%2\" from now on.\n")
                           .arg(n)
                           .arg(QFile::symLinkTarget(portLinkPath(n)));
    }
    if (!assignment.problem.isEmpty())
        context.err
            << QStringLiteral("qev: warning: %1\n").arg(withFinalPeriod(assignment.problem));

    QList<quint16> numbers;
    for (quint16 n = 1; n <= kMaxPortNumber; ++n)
        numbers << n;
    const QList<PortInfo> ports = describePorts(numbers);
    int found = 0;
    // Ports left out for one and the same reason (their folder) are told of together.
    QString reason;
    quint16 first = 0;
    const auto tell = [&](quint16 last) {
        if (!reason.isEmpty()) {
            const QString which = first == last
                                      ? QStringLiteral("COM%1 is").arg(first)
                                      : QStringLiteral("COM%1 to COM%2 are").arg(first).arg(last);
            context.err
                << QStringLiteral("qev: %1 left out: %2\n").arg(which, withFinalPeriod(reason));
        }
    };
    // Present as the port prompt finds it (the one presence test, which opens nothing): what is
    // listed here is what the prompt offers.
    for (const quint16 n : numbers) {
        const bool present = ports.at(n - 1).present;
        const QString why = present ? QString() : portAbsenceReason(n);
        if (why != reason || why.isEmpty()) {
            tell(n - 1);
            reason = why;
            first = n;
        }
        if (!present)
            continue;
        context.out << QStringLiteral("COM%1\t%2\t%3\n")
                           .arg(n)
                           .arg(portDevice(n), ports.at(n - 1).description);
        ++found;
    }
    tell(kMaxPortNumber);
    if (found == 0)
        context.err << QStringLiteral("qev: No serial port is present. %1\n").arg(portsHint());
    return 0;
}

// The other numbers that lead to the same device, and a name for it that survives replugging
// where the one given does not.
void tellAboutLinked(quint16 n, const QString& target, CommandContext& context) {
    for (const quint16 other : portsLeadingTo(target)) {
        if (other != n)
            context.err << QStringLiteral(
                               "qev: COM%1 leads there as well; \"qev ports --unlink COM%1\" "
                               "frees that number.\n")
                               .arg(other);
    }
    const QString device = QFileInfo(target).canonicalFilePath();
    for (const SerialAdapter& adapter : findSerialAdapters()) {
        if (adapter.device == device && !target.startsWith(QStringLiteral("/dev/serial/"))) {
            context.err << QStringLiteral(
                               "qev: note: \"%1\" may lead to another adapter once this one is "
                               "plugged in again; \"%2\" always leads to this one.\n")
                               .arg(target, adapter.name);
            break;
        }
    }
}

int linkCommand(const Command& command, CommandContext& context) {
    const quint16 n = command.linkPort;
    const bool server = looksLikeNetworkPort(command.linkDevice);
    const QString target =
        server ? command.linkDevice : QFileInfo(command.linkDevice).absoluteFilePath();
    try {
        const QString previous = linkPort(n, command.linkDevice, command.force);
        const QString what = describePort(n).description;
        if (previous == target) {
            context.out
                << QStringLiteral("COM%1 already leads to %2 (%3)\n").arg(n).arg(target, what);
        } else {
            context.out << QStringLiteral("COM%1 now leads to %2 (%3)\n").arg(n).arg(target, what);
            if (!previous.isEmpty())
                context.err << QStringLiteral("qev: it led to \"%1\" before.\n").arg(previous);
        }
    } catch (const Exception& e) {
        context.err << QStringLiteral("qev: %1\n").arg(withFinalPeriod(e.message()));
        return 1;
    }
    if (!server)
        tellAboutLinked(n, target, context);
    return 0;
}

int unlinkCommand(const Command& command, CommandContext& context) {
    const quint16 n = command.linkPort;
    QString previous;
    try {
        previous = unlinkPort(n);
    } catch (const Exception& e) {
        context.err << QStringLiteral("qev: %1\n").arg(withFinalPeriod(e.message()));
        return 1;
    }
    context.out << QStringLiteral("COM%1 no longer leads to %2\n").arg(n).arg(previous);
    // An adapter left with no link is numbered again at the next listing, from the lowest free
    // number up, which may be this one.
    const QString device = QFileInfo(previous).canonicalFilePath();
    for (const SerialAdapter& adapter : findSerialAdapters()) {
        if (adapter.device == device && portsLeadingTo(device).isEmpty()) {
            context.err << QStringLiteral(
                               "qev: note: the adapter gets the lowest free number again when "
                               "QEV next lists or uses the ports; to give it another one, link "
                               "that first (qev ports --link COMn %1).\n")
                               .arg(adapter.name);
            break;
        }
    }
    return 0;
}

}  // namespace

int runPortsCommand(const Command& command, CommandContext& context) {
    switch (command.linkAction) {
        case PortLinkAction::Link:
            return linkCommand(command, context);
        case PortLinkAction::Unlink:
            return unlinkCommand(command, context);
        case PortLinkAction::None:
            break;
    }
    return listPorts(context);
}

}  // namespace qev
