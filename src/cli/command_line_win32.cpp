#include "cli/command_line.h"
#include "cli/command_line_platform.h"

namespace qev {

std::optional<QString> displayMissing(const QStringList&,
                                      const std::function<QString(const char*)>&) {
    return std::nullopt;  // the desktop is always there
}

QString linkCommandsHelp() {
    return {};  // Windows numbers its ports itself
}

QString placesHelp() {
    return QStringLiteral(
        "The window's choices are read from the registry key\n"
        "HKEY_CURRENT_USER\\Software\\QEV\\MainForm and never changed; port n is the port COMn\n"
        "as Device Manager shows it, under \"Ports (COM & LPT)\".\n");
}

}  // namespace qev
