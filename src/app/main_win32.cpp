// QEV: configures a clock device on a serial port. One program for the window and the commands
// (qev-cli.exe runs the same commands in a console).

#include "app/window_main.h"
#include "cli/cli_commands.h"
#include "cli/command_line.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (qev::wantsCommandLine(arguments)) {
        // No display is needed for a command: it runs from tasks and remote shells.
        QCoreApplication app(argc, argv);
        return qev::runCommandLine(QCoreApplication::arguments());
    }
    return qev::runWindow(argc, argv);
}
