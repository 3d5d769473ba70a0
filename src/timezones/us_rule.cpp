#include "timezones/us_rule.h"

#include <QDate>
#include <QDateTime>

namespace qev {

namespace {

// The n-th Sunday (1-based) of a month, at 02:00 local time, in UTC for the offset in force
// just before it.
qint64 changeAt(int year, int month, int nthSunday, int offsetBefore) {
    QDate day(year, month, 1);
    day = day.addDays((7 - day.dayOfWeek()) % 7 + 7 * (nthSunday - 1));
    return QDateTime(day, QTime(2, 0), Qt::UTC).toSecsSinceEpoch() - offsetBefore;
}

struct YearChanges {
    qint64 start;
    qint64 end;
};

YearChanges yearChanges(int year, int standardOffset) {
    return {changeAt(year, 3, 2, standardOffset), changeAt(year, 11, 1, standardOffset + 3600)};
}

int yearOf(qint64 atUtc) {
    return QDateTime::fromSecsSinceEpoch(atUtc, Qt::UTC).date().year();
}

}  // namespace

QList<OffsetChange> usRuleChanges(int standardOffset, qint64 fromUtc, qint64 toUtc) {
    QList<OffsetChange> changes;
    const int daylight = standardOffset + 3600;
    for (int year = yearOf(fromUtc) - 1; year <= yearOf(toUtc) + 1; ++year) {
        const YearChanges y = yearChanges(year, standardOffset);
        for (const OffsetChange& c : {OffsetChange{y.start, standardOffset, daylight},
                                      OffsetChange{y.end, daylight, standardOffset}}) {
            if (c.atUtc >= fromUtc && c.atUtc < toUtc)
                changes.append(c);
        }
    }
    return changes;
}

bool usRuleInForce(int standardOffset, qint64 atUtc) {
    // The year of the zone's own calendar: the rule's dates are local dates.
    const YearChanges y = yearChanges(yearOf(atUtc + standardOffset), standardOffset);
    return atUtc >= y.start && atUtc < y.end;
}

int deviceOffset(const ZoneRecord& record, qint64 atUtc) {
    const int sign = record.sign == u'-' ? -1 : 1;
    const int offset = sign * (record.hours * 3600 + record.minutes * 60);
    const bool daylight = record.ruleIndex == kUsRule && usRuleInForce(offset, atUtc);
    return offset + (daylight ? 3600 : 0);
}

}  // namespace qev
