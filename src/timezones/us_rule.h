#pragma once
// The device's own DST rule, "US Standard (as of 2007)": one hour more from the second Sunday of
// March at 02:00 standard time to the first Sunday of November at 02:00 daylight time, in the
// zone's local time. QEV uses it where a zone's own changes are the same, so that the device
// changes by itself; the simulator shows what the device shows with it.

#include "protocol/zone_line.h"
#include "timezones/offset_changes.h"

#include <QList>

namespace qev {

inline constexpr int kNoDstRule = 0;
inline constexpr int kUsRule = 1;

// The changes the rule makes in [fromUtc, toUtc) for a zone of that standard offset.
QList<OffsetChange> usRuleChanges(int standardOffset, qint64 fromUtc, qint64 toUtc);
// Whether the rule's hour is in force at that instant.
bool usRuleInForce(int standardOffset, qint64 atUtc);

// The offset from UTC the device shows for a zone record at that instant: the record's offset,
// plus an hour while the US rule is in force when the record names it.
int deviceOffset(const ZoneRecord& record, qint64 atUtc);

}  // namespace qev
