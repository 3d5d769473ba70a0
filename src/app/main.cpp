// QEV: configures a clock device on a serial port.

#include "app/application.h"
#include "app/cli_commands.h"
#include "app/command_line.h"
#include "app/mainform_u.h"
#include "app/setzone.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (qev::wantsCommandLine(arguments)) {
        // No display is needed for a command: it runs from timers and remote shells.
        QCoreApplication app(argc, argv);
        return qev::runCommandLine(QCoreApplication::arguments());
    }
    qev::Application app(argc, argv);
    qev::TMainForm mainForm;      // FormCreate fills the date and time fields
    qev::TdlgSetZone dlgSetZone;  // hidden until the first edit, reused for every one
    mainForm.setZoneEditor(&dlgSetZone);
    mainForm.show();  // the first showing restores the stored settings
    return app.exec();
}
