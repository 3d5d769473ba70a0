#pragma once
// The application object: installs the error display and makes sure that no exception ever
// unwinds through Qt's event loop.

#include <QApplication>

namespace qev {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    // The backstop behind the handlers' own guards: whatever still escapes an event's delivery
    // goes to the error display, and the program carries on.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    bool deliver(QObject* receiver, QEvent* event);
};

// The fonts of the main window and of the zone list, with fallbacks through Qt's style hints
// where "Tahoma" or "Courier New" is missing (the list must stay fixed-pitch).
QFont windowFont();
QFont zoneListFont();

}  // namespace qev
