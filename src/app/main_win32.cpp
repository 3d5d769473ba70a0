// QEV: configures a clock device on a serial port. One program for the window and the commands
// (qev-cli.exe runs the same commands in a console).

#include "app/window_main.h"
#include "cli/cli_commands.h"

int main(int argc, char** argv) {
    if (const std::optional<int> status = qev::runCommandIfAsked(argc, argv))
        return *status;
    return qev::runWindow(argc, argv);
}
