#pragma once
// The application error display: the one place where an error that escaped an event handler
// is shown to the user.

#include <QString>

#include <exception>
#include <functional>
#include <optional>

class QWidget;

namespace qev {

// The text shown for an escaped exception, or nothing for the silent EAbort. A qev::Exception
// shows the message of the innermost error of its chain (unless that one is empty), and so does
// a std::nested_exception chain; other exceptions show what(). The final-period rule applies.
std::optional<QString> errorDisplayText(std::exception_ptr error);

// Appends "." when the text's last character lies above "." ("value" -> "value.", but "(15)",
// "done!", "'x'" and "end." stay as they are).
QString withFinalPeriod(QString text);

// The program file's name without its folder and without everything from its first ".", every
// character after the first in lower case: "/usr/bin/qev" -> "qev", "QEV.EXE" -> "Qev".
QString applicationTitle(const QString& programPath);

// Shows text in a modal message box with OK and the error icon, owned by the active window,
// titled title (by default the application's title).
void showErrorBox(const QString& text, const QString& title = {});

// The reporter that runGuarded hands escaped exceptions to.
void showApplicationError(std::exception_ptr error);

// A worker thread's failure, called on that thread: shown on the user-interface thread, in a
// box titled "Application Error" that names the exception and carries its message.
void showThreadError(const QString& className, const QString& message);

}  // namespace qev
