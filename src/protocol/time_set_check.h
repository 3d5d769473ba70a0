#pragma once
// What the time-set message may carry. The fields check only the shape of what is typed, and
// the device would take an impossible date or time as it comes, so a send checks first.

#include "base/exception.h"

#include <QString>

namespace qev {

// A date or time that must not go to the device; the message names the field and the fault.
class ETimeSetError : public Exception {
public:
    using Exception::Exception;
};

// Throws ETimeSetError unless dateValue holds a date (0 is none) and timeText holds hours
// 00..23, minutes 00..59 and seconds 00..59 as two ASCII digits each at positions 1-2, 4-5 and
// 7-8 (the separators between are whatever the locale shows).
void checkTimeSetInputs(double dateValue, const QString& timeText);

}  // namespace qev
