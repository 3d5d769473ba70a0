#pragma once
// The date-time value the windows exchange: days since 30 December 1899, the fraction being the
// time of day. 0 stands for "no date".

#include <QDate>
#include <QDateTime>

namespace qev {

inline constexpr double kNoDateValue = 0.0;

QDate dateEpoch();  // 30 December 1899

// The calendar date of a value (its whole days; a negative value counts back from the epoch).
QDate dateOfValue(double value);

// The value of a date and time of day, to the millisecond.
double valueOfDateTime(const QDate& date, const QTime& time);
double valueOfDateTime(const QDateTime& dateTime);

// Midnight of the date counts as the whole days only.
inline double valueOfDate(const QDate& date) {
    return valueOfDateTime(date, QTime(0, 0));
}

// The date and time of day of a value, to the millisecond; invalid beyond QDate's range.
QDateTime dateTimeOfValue(double value);

}  // namespace qev
