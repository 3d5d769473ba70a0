#pragma once
// The texts of errors as the user is shown them, in the window's error box and on a command's
// standard error alike.

#include <QString>

#include <exception>
#include <optional>

namespace qev {

// The text shown for an escaped exception, or nothing for the silent EAbort. A qev::Exception
// shows the message of the innermost error of its chain (unless that one is empty), and so does
// a std::nested_exception chain; other exceptions show what(). The final-period rule applies.
// The thrown exception's detail follows on a line of its own.
std::optional<QString> errorDisplayText(std::exception_ptr error);

// A displayed text on one line, for standard error: its lines joined by a space.
QString oneLine(const QString& text);

// Appends "." when the text's last character lies above "." ("value" -> "value.", but "(15)",
// "done!", "'x'" and "end." stay as they are).
QString withFinalPeriod(QString text);

// The program file's name without its folder and without everything from its first ".", every
// character after the first in lower case: "/usr/bin/qev" -> "qev", "QEV.EXE" -> "Qev".
QString applicationTitle(const QString& programPath);

}  // namespace qev
