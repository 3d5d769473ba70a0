#include "app/application.h"

#include "app/enter_presses_button.h"
#include "app/error_display.h"
#include "base/error_sink.h"
#include "base/version.h"
#include "widgets/focus_cue_style.h"

#include <QFont>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QWidget>

namespace qev {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("QEV"));
    setApplicationVersion(kVersion);
    setDesktopFileName(QStringLiteral("qev"));
    setFont(windowFont());  // the dialogs use the application font
    setErrorReporter(&showApplicationError);
    installEventFilter(new EnterPressesButton(this));
    setStyle(new FocusCueStyle(style()->name()));  // owned by the application
}

namespace {

// A press that an error box interrupted: the box's own loop took the release, which would leave
// the control drawn pressed. It gets a release away from itself, so that it comes up and does
// not act: the error cut the click short.
void releaseInterruptedPress(QWidget* control, const QMouseEvent& press) {
    const QPointF away(-1, -1);
    QMouseEvent release(QEvent::MouseButtonRelease, away, control->mapToGlobal(away),
                        press.button(), Qt::NoButton, press.modifiers());
    QCoreApplication::sendEvent(control, &release);
}

}  // namespace

bool Application::notify(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && receiver->isWidgetType()) {
        const unsigned errorsBefore = reportedErrorCount();
        const QPointer<QWidget> control = static_cast<QWidget*>(receiver);
        const bool handled = deliver(receiver, event);
        if (control && reportedErrorCount() != errorsBefore)
            releaseInterruptedPress(control, *static_cast<QMouseEvent*>(event));
        return handled;
    }
    return deliver(receiver, event);
}

bool Application::deliver(QObject* receiver, QEvent* event) {
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
