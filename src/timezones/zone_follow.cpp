#include "timezones/zone_follow.h"

#include "timezones/us_rule.h"

namespace qev {

FollowedSetting followedSetting(const QTimeZone& zone, qint64 atUtc) {
    const QDateTime at = QDateTime::fromSecsSinceEpoch(atUtc, Qt::UTC);
    const int standard = zone.standardTimeOffset(at);
    const QList<OffsetChange> own = offsetChanges(zone, atUtc, atUtc + kTwoYears);
    if (!own.isEmpty() && own == usRuleChanges(standard, atUtc, atUtc + kTwoYears))
        return {standard, kUsRule};
    return {zone.offsetFromUtc(at), kNoDstRule};
}

QString followedLine(int k, const QString& line, const FollowedSetting& setting) {
    // A line too short to hold a name gets the one the list gives it.
    const QString name = line.size() >= 7 ? line.left(7) : zoneName(k);
    const QString offset = offsetText(setting.offset);
    return writeZoneLine(name, setting.offset < 0, offset.mid(1), setting.ruleIndex,
                         dstRuleNames().value(setting.ruleIndex), tailIs24Hour(zoneTail(line)));
}

FollowedLines applyFollows(const QStringList& lines, const ZoneFollows& follows, qint64 atUtc) {
    FollowedLines result{lines, {}};
    for (auto it = follows.cbegin(); it != follows.cend(); ++it) {
        const int k = it.key();
        if (k < 0 || k >= result.lines.size())
            continue;
        const std::optional<QTimeZone> zone = findTimeZone(it.value());
        if (!zone) {
            result.problems << unknownZoneText(k, it.value());
            continue;
        }
        result.lines[k] = followedLine(k, result.lines.at(k), followedSetting(*zone, atUtc));
    }
    return result;
}

QString unknownZoneText(int k, const QString& id) {
    return QStringLiteral(
               "%1 follows \"%2\", a time zone this computer's zone data does not know, so it "
               "is left as its line says")
        .arg(zoneName(k), id);
}

QString zoneNowText(const QTimeZone& zone, qint64 atUtc) {
    QString text = offsetText(zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(atUtc, Qt::UTC))) +
                   QStringLiteral(" now");
    if (const auto next = nextOffsetChange(zone, atUtc))
        text +=
            QStringLiteral("; %1 from %2").arg(offsetText(next->offsetAfter), utcText(next->atUtc));
    else
        text += QStringLiteral("; no change in the next two years");
    return text;
}

namespace {

// "follows Europe/London: ...", for the two texts below.
QString follows(const QString& id, qint64 atUtc) {
    const std::optional<QTimeZone> zone = findTimeZone(id);
    if (!zone)
        return QStringLiteral("follows %1, which this computer's zone data does not know").arg(id);
    return QStringLiteral("follows %1: %2").arg(id, zoneNowText(*zone, atUtc));
}

}  // namespace

QString followDescription(const QString& id, qint64 atUtc) {
    QString text = follows(id, atUtc);
    text[0] = text[0].toUpper();
    return text;
}

QString zoneFollowsText(int k, const QString& id, qint64 atUtc) {
    return zoneName(k) + u' ' + follows(id, atUtc);
}

std::optional<DueChange> nextDueChange(const ZoneFollows& follows, qint64 atUtc) {
    std::optional<DueChange> first;
    for (auto it = follows.cbegin(); it != follows.cend(); ++it) {
        const std::optional<QTimeZone> zone = findTimeZone(it.value());
        if (!zone)
            continue;
        const std::optional<OffsetChange> next = nextOffsetChange(*zone, atUtc);
        if (next && (!first || next->atUtc < first->change.atUtc))
            first = DueChange{it.key(), it.value(), *next};
    }
    return first;
}

QString dueChangeText(const DueChange& due) {
    return QStringLiteral("Next change: %1 (%2) to %3 at %4.")
        .arg(zoneName(due.zone), due.id, offsetText(due.change.offsetAfter),
             utcText(due.change.atUtc));
}

}  // namespace qev
