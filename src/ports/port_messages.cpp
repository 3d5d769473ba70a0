#include "ports/port_messages.h"

namespace qev {

QString notSerialDeviceText(const QString& devicePath, const QString& kind) {
    return QStringLiteral(
               "\"%1\" is not a serial device (it is %2). Make it a link to the port's "
               "device, for example /dev/ttyUSB0")
        .arg(devicePath, kind);
}

QString unexaminableText(const QString& linkPath, int error) {
    return QStringLiteral("The port link \"%1\" cannot be examined (%2), so no device was opened")
        .arg(linkPath, qt_error_string(error));
}

}  // namespace qev
