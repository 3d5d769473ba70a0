#include "serial/serial_errors.h"

namespace qev {

void raiseSystemError(const std::error_code& error) {
    throw ESerialException(
        QStringLiteral("The serial port failed: %1").arg(QString::fromStdString(error.message())),
        0);
}

}  // namespace qev
