// Sends one message through the Windows serial layer exactly as the program's send cycle does,
// for the port tests that watch the other end of the line from Linux.
//   serial_probe send PORT config|time   the default zone configuration, or a fixed time set
//   serial_probe held PORT               a send while another open of the port holds it
//   serial_probe expect-config           prints the default zone configuration only
// Prints "EXPECT <hex>" for what the line should carry, then "SENT" or "ERROR <class>: <text>".

#include "protocol/date_time_value.h"
#include "protocol/messages.h"
#include "protocol/zone_line.h"
#include "serial/com_port.h"
#include "serial/serial_errors.h"
#include "serial/transmission.h"

#include <QCoreApplication>

#include <cstdio>
#include <functional>

using namespace qev;

namespace {

QByteArray message(const QString& kind) {
    if (kind == QLatin1String("time"))
        return buildTimeSetMessage(valueOfDateTime(QDate(2024, 2, 29), QTime(0, 0)),
                                   QStringLiteral("12:34:56"));
    return buildZoneConfigMessage(defaultZoneLines());
}

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void sendOn(TComPort& port, int portNumber, const QByteArray& bytes) {
    transmit(port, portNumber - 1, bytes, [] { QCoreApplication::processEvents(); });
}

// The class names a user would read in the program's own messages.
int report(const std::function<void()>& act) {
    try {
        act();
        say(QStringLiteral("SENT"));
        return 0;
    } catch (const EBadId& e) {
        say(QStringLiteral("ERROR EBadId: ") + e.message());
    } catch (const EAlreadyOpen& e) {
        say(QStringLiteral("ERROR EAlreadyOpen: ") + e.message());
    } catch (const ESerialException& e) {
        say(QStringLiteral("ERROR ESerialException: ") + e.message());
    } catch (const EInOutError& e) {
        say(QStringLiteral("ERROR EInOutError: ") + e.message());
    } catch (const Exception& e) {
        say(QStringLiteral("ERROR Exception: ") + e.message());
    }
    return 1;
}

TComPort& configured(TComPort& port) {
    port.setBaud(4800);
    port.setAutoOpen(false);
    port.setPromptForPort(false);
    return port;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("expect-config")) {
        say(QStringLiteral("EXPECT ") + QString::fromLatin1(message("config").toHex()));
        return 0;
    }
    const int portNumber = args.value(1).toInt();
    if (args.size() < 2 || portNumber < 1) {
        std::fprintf(stderr,
                     "usage: serial_probe send PORT config|time | held PORT | "
                     "expect-config\n");
        return 2;
    }
    TComPort port;
    configured(port);
    if (args.at(0) == QLatin1String("send")) {
        const QByteArray bytes = message(args.value(2));
        say(QStringLiteral("EXPECT ") + QString::fromLatin1(bytes.toHex()));
        return report([&] { sendOn(port, portNumber, bytes); });
    }
    if (args.at(0) == QLatin1String("held")) {
        TComPort holder;
        configured(holder).setComNumber(quint16(portNumber));
        try {
            holder.setOpen(true);
        } catch (const Exception& e) {
            say(QStringLiteral("ERROR holder: ") + e.message());
            return 1;
        }
        say(QStringLiteral("EXPECT "));
        const int result = report([&] { sendOn(port, portNumber, message("config")); });
        holder.setOpen(false);
        return result;
    }
    return 2;
}
