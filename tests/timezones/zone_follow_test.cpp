// The lines written for followed zones, checked against the system's zone data itself: at every
// change of 2026-2028 and just before it, the device shows the zone's own offset.
#include "timezones/zone_follow.h"
#include "printers.h"
#include "protocol/zone_line.h"
#include "timezones/us_rule.h"
#include "utc_instant.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

using test::utcAt;

int zoneOffset(const QTimeZone& zone, qint64 at) {
    return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(at, Qt::UTC));
}

struct Case {
    const char* id;
    bool usRule;  // the device's own rule serves it
};
// North and south, half-hour and 45-minute offsets, negative DST, a zone that abolished DST,
// changes at local midnight, and zones with none at all.
const Case kZones[] = {
    {"Europe/London", false},    {"America/New_York", true},    {"Australia/Sydney", false},
    {"Pacific/Chatham", false},  {"Africa/Casablanca", false},  {"Australia/Lord_Howe", false},
    {"America/Santiago", false}, {"America/St_Johns", true},    {"Europe/Dublin", false},
    {"Asia/Kathmandu", false},   {"Asia/Tehran", false},        {"America/Phoenix", false},
    {"America/Havana", false},   {"Pacific/Kiritimati", false}, {"America/Los_Angeles", true},
};

TEST(ZoneFollowTest, TheDeviceShowsTheZonesOwnOffsetAroundEveryChange) {
    for (const Case& c : kZones) {
        SCOPED_TRACE(c.id);
        const std::optional<QTimeZone> zone = findTimeZone(QString::fromLatin1(c.id));
        // Windows' zone data has not every zone (the first five it must have).
        if (!zone && &c - kZones >= 5)
            continue;
        ASSERT_TRUE(zone);
        QList<qint64> instants{utcAt(2026, 1, 1), utcAt(2027, 7, 1), utcAt(2028, 12, 31)};
        // The zone data's own transitions, not ours: each change just before and at it.
        for (const QTimeZone::OffsetData& t :
             zone->transitions(QDateTime::fromSecsSinceEpoch(utcAt(2026, 1, 1), Qt::UTC),
                               QDateTime::fromSecsSinceEpoch(utcAt(2029, 1, 1), Qt::UTC)))
            instants << t.atUtc.toSecsSinceEpoch() - 1 << t.atUtc.toSecsSinceEpoch();
        for (qint64 at : instants) {
            const FollowedLines followed =
                applyFollows(defaultZoneLines(), {{3, QString::fromLatin1(c.id)}}, at);
            ASSERT_TRUE(followed.problems.isEmpty());
            const ZoneRecord record = readForTransmission(followed.lines.at(3));
            EXPECT_EQ(deviceOffset(record, at), zoneOffset(*zone, at))
                << followed.lines.at(3).toStdString() << " at " << utcText(at).toStdString();
            EXPECT_EQ(record.ruleIndex, c.usRule ? kUsRule : kNoDstRule)
                << utcText(at).toStdString();
            if (!c.usRule)
                continue;
            // Left alone, the device keeps the zone's time through the next two years.
            for (const OffsetChange& change : offsetChanges(*zone, at, at + 700 * 86400LL)) {
                EXPECT_EQ(deviceOffset(record, change.atUtc - 1), change.offsetBefore);
                EXPECT_EQ(deviceOffset(record, change.atUtc), change.offsetAfter);
            }
        }
    }
}

TEST(ZoneFollowTest, LinesKeepTheirNameAndHourModeAndUnknownZonesAreTold) {
    QStringList lines = defaultZoneLines();
    lines[1] = QStringLiteral("Zone 01  +09:00  0:No DST,24 hr");
    const ZoneFollows follows{{1, QStringLiteral("Europe/London")},
                              {2, QStringLiteral("America/New_York")},
                              {4, QStringLiteral("Pacific/Chatham")},
                              {5, QStringLiteral("Mars/Olympus_Mons")}};
    const FollowedLines summer = applyFollows(lines, follows, utcAt(2027, 7, 1));
    EXPECT_EQ(summer.lines.at(1), QStringLiteral("Zone 01  +01:00  0:No DST,24 hr"));
    EXPECT_EQ(summer.lines.at(2),
              QStringLiteral("Zone 02  -05:00  1:US Standard (as of 2007),12 hr"));
    EXPECT_EQ(summer.lines.at(4), QStringLiteral("Zone 04  +12:45  0:No DST,12 hr"));
    EXPECT_EQ(summer.lines.at(5), lines.at(5));
    ASSERT_EQ(summer.problems.size(), 1);
    EXPECT_TRUE(summer.problems.first().contains(QStringLiteral("Zone 05")));
    EXPECT_TRUE(summer.problems.first().contains(QStringLiteral("Mars/Olympus_Mons")));
    EXPECT_FALSE(findTimeZone(QStringLiteral("Mars/Olympus_Mons")));
}

TEST(ZoneFollowTest, AChangeIsAChangeOfOffset) {
    // Tehran has had no DST since 2022; the zone data may still list a "transition" in 2038,
    // at which the offset stays as it was.
    if (const auto tehran = findTimeZone(QStringLiteral("Asia/Tehran"))) {
        if (const auto next = nextOffsetChange(*tehran, utcAt(2037, 6, 1))) {
            EXPECT_NE(zoneOffset(*tehran, next->atUtc - 1), zoneOffset(*tehran, next->atUtc));
            EXPECT_EQ(next->offsetAfter, zoneOffset(*tehran, next->atUtc));
        }
    }
    const auto london = findTimeZone(QStringLiteral("Europe/London"));
    const auto next = nextOffsetChange(*london, utcAt(2026, 12, 11));
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, (OffsetChange{utcAt(2027, 3, 28, 1), 0, 3600}));
    const ZoneFollows follows{{1, QStringLiteral("Europe/London")},
                              {7, QStringLiteral("Australia/Sydney")}};
    const auto due = nextDueChange(follows, utcAt(2027, 3, 1));
    ASSERT_TRUE(due);
    EXPECT_EQ(due->zone, 1);
    EXPECT_EQ(
        dueChangeText(*due),
        QStringLiteral("Next change: Zone 01 (Europe/London) to +01:00 at 2027-03-28 01:00 UTC."));
    EXPECT_EQ(
        followDescription(QStringLiteral("Australia/Sydney"), utcAt(2027, 3, 1)),
        QStringLiteral("Follows Australia/Sydney: +11:00 now; +10:00 from 2027-04-03 16:00 UTC"));
}

// The timer runs at every :00 and :30 of UTC: every change of every zone from 2025 to 2030 must
// fall on one of them, or at most a second before (Windows writes midnight as 23:59:59.999), or
// a zone would show the old offset until the next run.
TEST(ZoneFollowTest, EveryChangeFallsOnAFullOrHalfHourOfUtc) {
    int changes = 0;
    for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
        const QTimeZone zone(id);
        for (const OffsetChange& c : offsetChanges(zone, utcAt(2025, 1, 1), utcAt(2031, 1, 1))) {
            ++changes;
            EXPECT_EQ(c.atUtc % 1800, 0)
                << id.toStdString() << " at " << utcText(c.atUtc).toStdString();
        }
    }
    EXPECT_GT(changes, 1000);
}

}  // namespace
}  // namespace qev
