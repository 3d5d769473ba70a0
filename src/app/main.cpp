// QEV: configures a clock device on a serial port.

#include "app/application.h"
#include "app/mainform_u.h"
#include "app/setzone.h"
#include "cli/cli_commands.h"
#include "cli/command_line.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler previousHandler = nullptr;

// Qt ends the program with a fatal message (and advice to reinstall) when its platform finds no
// display; the user is told instead what the window needs and what works without it.
void startupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        const QString text = qev::noDisplayText(QStringLiteral("the toolkit could not open one"));
        std::fputs(text.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        std::_Exit(1);  // nothing of the window exists yet, so nothing is lost
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (qev::wantsCommandLine(arguments)) {
        // No display is needed for a command: it runs from timers and remote shells.
        QCoreApplication app(argc, argv);
        return qev::runCommandLine(QCoreApplication::arguments());
    }
    if (const auto reason = qev::displayMissing(
            arguments, [](const char* name) { return qEnvironmentVariable(name); })) {
        std::fputs(qev::noDisplayText(*reason).toLocal8Bit().constData(), stderr);
        return 1;
    }
    previousHandler = qInstallMessageHandler(&startupMessage);
    qev::Application app(argc, argv);
    qInstallMessageHandler(previousHandler);
    qev::TMainForm mainForm;      // FormCreate fills the date and time fields
    qev::TdlgSetZone dlgSetZone;  // hidden until the first edit, reused for every one
    mainForm.setZoneEditor(&dlgSetZone);
    mainForm.show();  // the first showing restores the stored settings
    return app.exec();
}
