#include "cli/command_line.h"
#include "cli/command_line_platform.h"

namespace qev {

std::optional<QString> displayMissing(const QStringList& arguments,
                                      const std::function<QString(const char*)>& environment) {
    // A platform asked for by name may need no display (offscreen, vnc, eglfs); Qt says so
    // itself if it cannot start.
    if (arguments.contains(QStringLiteral("-platform")))
        return std::nullopt;
    if (!environment("QT_QPA_PLATFORM").isEmpty() || !environment("DISPLAY").isEmpty() ||
        !environment("WAYLAND_DISPLAY").isEmpty())
        return std::nullopt;
    return QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
}

QString linkCommandsHelp() {
    return QStringLiteral(
        "  ports --link COMn DEVICE\n"
        "                    Make port n lead to DEVICE (--force replaces a link it has),\n"
        "                    or to a serial device server: rfc2217://HOST:PORT, tcp://HOST:PORT\n"
        "  ports --unlink COMn\n"
        "                    Remove port n's link, which frees its number\n");
}

QString placesHelp() {
    return QStringLiteral(
        "The window's choices are read from $XDG_CONFIG_HOME/QEV/settings.reg and never\n"
        "changed; port n is the link $XDG_CONFIG_HOME/QEV/ports/COMn, or /dev/ttyS<n-1>.\n"
        "A serial adapter with no link gets one, to the lowest number with no link and no\n"
        "built-in port, whenever QEV lists or uses the ports; the number stays with it.\n");
}

}  // namespace qev
