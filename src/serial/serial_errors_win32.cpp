#include "serial/serial_errors.h"

namespace qev {

namespace {

// The system errors whose numbers the runtime's texts were written for (the same in DOS and
// Win32): there the layer's text says what the system's does. Any other number has a meaning of
// its own, which only the system's text tells (161 is a bad path name, not a read error).
bool runtimeTextFits(int error) {
    switch (error) {
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 8:
        case 15:
        case 18:
            return true;
        default:
            return false;
    }
}

}  // namespace

void raiseSystemError(const std::error_code& error) {
    const QString system = QString::fromStdString(error.message());
    // The system's own failures of an open are input/output errors, as the runtime reports
    // them.
    if (error.value() >= 2 && error.value() <= 162)
        throw EInOutError(error.value(),
                          runtimeTextFits(error.value()) ? inOutErrorText(-error.value()) : system);
    throw ESerialException(QStringLiteral("The serial port failed: %1").arg(system), 0);
}

}  // namespace qev
