#include "cli/command_line.h"
#include "cli/command_line_platform.h"

namespace qev {

std::optional<QString> displayMissing(const QStringList&,
                                      const std::function<QString(const char*)>&) {
    return std::nullopt;  // the desktop is always there
}

QString linkCommandsHelp() {
    // Windows numbers its ports itself; a number it does not have may lead to a server.
    return QStringLiteral(
        "  ports --link COMn SERVER\n"
        "                    Make port n, which Windows does not have, lead to a serial device\n"
        "                    server: rfc2217://HOST:PORT or tcp://HOST:PORT (--force replaces)\n"
        "  ports --unlink COMn\n"
        "                    Remove port n's server\n");
}

QString placesHelp() {
    return QStringLiteral(
        "The window's choices are read from the registry key\n"
        "HKEY_CURRENT_USER\\Software\\QEV\\MainForm and never changed; port n is the port COMn\n"
        "as Device Manager shows it, under \"Ports (COM & LPT)\".\n");
}

}  // namespace qev
