#include "protocol/date_time_value.h"

#include <algorithm>
#include <cmath>

namespace qev {

QDate dateEpoch() {
    return QDate(1899, 12, 30);
}

QDate dateOfValue(double value) {
    // Beyond QDate's range (or NaN) there is no date to give.
    if (!std::isfinite(value) || std::fabs(value) > 1e9) {
        return QDate();
    }
    return dateEpoch().addDays(qint64(std::trunc(value)));
}

double valueOfDateTime(const QDate& date, const QTime& time) {
    const double days = double(dateEpoch().daysTo(date));
    const double fraction = time.isValid() ? time.msecsSinceStartOfDay() / 86'400'000.0 : 0.0;
    // Before the epoch the fraction still counts forward from midnight of that day.
    return days >= 0 ? days + fraction : days - fraction;
}

double valueOfDateTime(const QDateTime& dateTime) {
    return valueOfDateTime(dateTime.date(), dateTime.time());
}

QDateTime dateTimeOfValue(double value) {
    const QDate date = dateOfValue(value);
    if (!date.isValid()) {
        return QDateTime();
    }
    // The fraction is the time of day also before the epoch, where the whole part is negative.
    const double fraction = std::fabs(value - std::trunc(value));
    const qint64 ms = std::min<qint64>(std::llround(fraction * 86'400'000.0), 86'399'999);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

}  // namespace qev
