// The window's program: the display checked, one window per user, the window shown and kept.

#include "app/window_main.h"
#include "app/application.h"
#include "app/mainform_u.h"
#include "app/settings_keeper.h"
#include "app/setzone.h"
#include "app/window_instance.h"
#include "cli/command_line.h"

#include <QCoreApplication>
#include <QSessionManager>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

QtMessageHandler previousHandler = nullptr;

// What Qt says while it looks for a display, held back: when there is none, the user is told so
// first and plainly; when there is one, it is passed on as it came.
struct HeldMessage {
    QtMsgType type;
    QString text;
};
std::vector<HeldMessage> held;

void startupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        // Qt ends the program (with advice to reinstall) when its platform finds no display.
        const QString text = qev::noDisplayText(QStringLiteral("the toolkit could not open one"));
        std::fputs(text.toLocal8Bit().constData(), stderr);
        for (const HeldMessage& m : held)
            std::fputs((QStringLiteral("qev: ") + m.text + u'\n').toLocal8Bit().constData(),
                       stderr);
        std::fflush(stderr);
        std::_Exit(1);  // nothing of the window exists yet, so nothing is lost
    }
    Q_UNUSED(context);
    held.push_back({type, message});
}

void passOnHeldMessages() {
    for (const HeldMessage& m : std::exchange(held, {}))
        qt_message_output(m.type, QMessageLogContext(), m.text);
}

}  // namespace

int qev::runWindow(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto reason = qev::displayMissing(
            arguments, [](const char* name) { return qEnvironmentVariable(name); })) {
        std::fputs(qev::noDisplayText(*reason).toLocal8Bit().constData(), stderr);
        return 1;
    }
    // Before the lock: a request to come to the front must never find the window deaf to it.
    qev::installWindowSignals();
    const qev::WindowLock lock;
    if (!lock.held()) {
        const bool asked = qev::askWindowToFront(lock.holder());
        std::fputs(asked ? "qev: QEV's window is open already; it has been brought to the front.\n"
                         : "qev: QEV's window is open already (another start of it holds its "
                           "lock).\n",
                   stderr);
        return asked ? 0 : 1;
    }
    previousHandler = qInstallMessageHandler(&startupMessage);
    qev::Application app(argc, argv);
    qInstallMessageHandler(previousHandler);
    passOnHeldMessages();
    // The frame is shown first and the controls built at once, before the first paint; building
    // them runs FormCreate, which fills the date and time fields, and the first showing's restore.
    qev::TMainForm mainForm(nullptr, qev::TMainForm::Build::AfterShow);
    mainForm.showAndBuild();
    qev::TdlgSetZone dlgSetZone;  // hidden until the first edit, reused for every one
    mainForm.setZoneEditor(&dlgSetZone);
    // The end of a session and the stop signals close the window as a click would, saving.
    qev::WindowSignalWatcher watcher;
    QObject::connect(&watcher, &qev::WindowSignalWatcher::stopRequested, &mainForm,
                     &qev::TMainForm::closeForSession);
    QObject::connect(&watcher, &qev::WindowSignalWatcher::frontRequested, &mainForm,
                     &qev::TMainForm::bringToFront);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainForm,
                     [&mainForm](QSessionManager&) { mainForm.settingsKeeper()->saveNow(); });
    return app.exec();
}
