#pragma once
// Enter and keypad Enter press the focused push button, as they do on Windows and most desktops.
// Qt leaves this to the auto-default buttons of dialogs, which draw wider; the main window's
// buttons and the dialogs' Cancel buttons are not. A dialog's default button keeps Enter
// everywhere else in the dialog.

#include <QObject>

namespace qev {

// Installed on the application: sees every key before the focused control does.
class EnterPressesButton : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qev
