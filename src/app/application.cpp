#include "app/application.h"

#include "app/error_display.h"
#include "widgets/error_sink.h"

#include <QFontDatabase>
#include <QFontInfo>

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

QFont windowFont() {
    QFont f(QStringLiteral("Tahoma"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    return f;
}

QFont zoneListFont() {
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPointSize(8);
    if (!QFontInfo(f).fixedPitch()) {
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSize(8);
    }
    return f;
}

}  // namespace qev
