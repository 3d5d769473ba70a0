#pragma once
// The changes of a time zone's offset from UTC, read from the system's zone data. A change is a
// change of offset and nothing else: the zone data also reports changes of name alone, and on
// some systems a "transition" in 2038 at which nothing changes.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

#include <optional>

namespace qev {

// How far ahead QEV looks at a zone's changes: its next change, and whether the device's own
// rule serves it.
inline constexpr qint64 kTwoYears = 2 * 366 * 86400LL;

struct OffsetChange {
    qint64 atUtc = 0;      // seconds since the epoch
    int offsetBefore = 0;  // seconds east of UTC
    int offsetAfter = 0;
    friend bool operator==(const OffsetChange&, const OffsetChange&) = default;
};

// The zone of an IANA id, or nothing when this computer's zone data does not know it (Qt would
// give UTC for it, which no one who named a zone wants).
std::optional<QTimeZone> findTimeZone(const QString& ianaId);

// Every change in [fromUtc, toUtc), in order.
QList<OffsetChange> offsetChanges(const QTimeZone& zone, qint64 fromUtc, qint64 toUtc);
// The first change after atUtc within the next two years.
std::optional<OffsetChange> nextOffsetChange(const QTimeZone& zone, qint64 atUtc);

// "+01:00", "-03:30", "+05:45".
QString offsetText(int offsetSeconds);
// "2027-03-28 01:00 UTC".
QString utcText(qint64 atUtc);

}  // namespace qev
