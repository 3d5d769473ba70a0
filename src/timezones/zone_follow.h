#pragma once
// Zones that follow a time zone: the line each gets at an instant, written as the zone editor
// writes it, so that the list shows what the device gets and the message still comes from the
// lines. A zone whose changes for the next two years are the device's US rule gets that rule
// with its standard offset (the device then changes by itself); any other gets "No DST" with
// the offset in force, and must be sent again at each change.

#include "protocol/zone_line.h"
#include "timezones/offset_changes.h"

#include <QMap>
#include <QStringList>

#include <optional>

namespace qev {

// Zone number (0..15) to the IANA id it follows; zones not in it follow nothing.
using ZoneFollows = QMap<int, QString>;

struct FollowedSetting {
    int offset = 0;  // seconds, as the line writes it
    int ruleIndex = 0;
    friend bool operator==(const FollowedSetting&, const FollowedSetting&) = default;
};
FollowedSetting followedSetting(const QTimeZone& zone, qint64 atUtc);

// Line k rewritten for the setting; its name and its 12/24-hour mode are kept.
QString followedLine(int k, const QString& line, const FollowedSetting& setting);

// The lines with every followed zone's line as it is at atUtc. A zone whose time zone this
// computer does not know keeps its line, and is told of in problems.
struct FollowedLines {
    QStringList lines;
    QStringList problems;
};
FollowedLines applyFollows(const QStringList& lines, const ZoneFollows& follows, qint64 atUtc);

QString unknownZoneText(int k, const QString& id);

// "Follows Europe/London: +00:00 now; +01:00 from 2027-03-28 01:00 UTC".
QString followDescription(const QString& id, qint64 atUtc);
// The same as a sentence about zone k: "Zone 01 follows Europe/London: ...".
QString zoneFollowsText(int k, const QString& id, qint64 atUtc);
// "+00:00 now; +01:00 from 2027-03-28 01:00 UTC", for a zone of the time-zone list.
QString zoneNowText(const QTimeZone& zone, qint64 atUtc);

// The first change among the followed zones after atUtc.
struct DueChange {
    int zone = -1;
    QString id;
    OffsetChange change;
};
std::optional<DueChange> nextDueChange(const ZoneFollows& follows, qint64 atUtc);
// "Next change: Zone 01 (Europe/London) to +01:00 at 2027-03-28 01:00 UTC."
QString dueChangeText(const DueChange& due);

}  // namespace qev
