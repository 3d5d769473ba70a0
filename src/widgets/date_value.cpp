#include "widgets/date_value.h"

#include <algorithm>
#include <cmath>

namespace qev {

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
