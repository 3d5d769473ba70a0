#pragma once
// What is wrong with a port's name, in the words every list of the ports and every refused open
// use alike.

#include <QString>

namespace qev {

// A port's name that leads to something else: kind says what it is, as fileKindText gives it.
QString notSerialDeviceText(const QString& devicePath, const QString& kind);
// A port's link that could not be looked at; error is the system's error number.
QString unexaminableText(const QString& linkPath, int error);

}  // namespace qev
