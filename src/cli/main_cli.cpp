// qev-cli: the commands in a console program, for Windows, where qev.exe is a window program
// that a console neither waits for nor prints: the same commands, texts and exit codes.

#include "cli/cli_commands.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    return qev::runCommandLine(QCoreApplication::arguments());
}
