#include "app/application.h"

#include "app/error_display.h"
#include "widgets/error_sink.h"

#include <QFont>

namespace qev {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("QEV"));
    setApplicationVersion(QStringLiteral("1.0"));
    setDesktopFileName(QStringLiteral("qev"));
    setFont(windowFont());  // the dialogs use the application font
    setErrorReporter(&showApplicationError);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    // One pointer in the capture keeps std::function from allocating on every event.
    struct Delivery {
        Application* app;
        QObject* receiver;
        QEvent* event;
        bool handled = false;
    } d{this, receiver, event};
    runGuarded([&d] { d.handled = d.app->QApplication::notify(d.receiver, d.event); });
    return d.handled;
}

// Both fonts name their fallbacks instead of asking the font database which family is present:
// a query would load the whole font configuration before the window is first shown.
QFont windowFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Sans Serif")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    return f;
}

QFont zoneListFont() {
    QFont f;
    // "Monospace" is fontconfig's generic fixed-pitch family, so the zone columns line up.
    f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Monospace")});
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPointSize(8);
    return f;
}

}  // namespace qev
