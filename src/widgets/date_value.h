#pragma once
// Whole date-time values (days since 30 December 1899, the fraction being the time of day)
// to and from QDateTime, built on the protocol's day arithmetic.

#include "protocol/date_time_value.h"

#include <QDateTime>

namespace qev {

// Midnight of the date counts as the whole days only.
inline double valueOfDate(const QDate& date) {
    return valueOfDateTime(date, QTime(0, 0));
}
double valueOfDateTime(const QDateTime& dateTime);

// The date and time of day of a value, to the millisecond; invalid beyond QDate's range.
QDateTime dateTimeOfValue(double value);

}  // namespace qev
