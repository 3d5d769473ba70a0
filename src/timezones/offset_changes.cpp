#include "timezones/offset_changes.h"

namespace qev {

namespace {

QDateTime utc(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

}  // namespace

std::optional<QTimeZone> findTimeZone(const QString& ianaId) {
    const QByteArray id = ianaId.toUtf8();
    if (id.isEmpty() || !QTimeZone::isTimeZoneIdAvailable(id))
        return std::nullopt;
    QTimeZone zone(id);
    if (!zone.isValid())
        return std::nullopt;
    return zone;
}

QList<OffsetChange> offsetChanges(const QTimeZone& zone, qint64 fromUtc, qint64 toUtc) {
    QList<OffsetChange> changes;
    // The offset just before: a change at fromUtc itself is one of the range.
    int offset = zone.offsetFromUtc(utc(fromUtc - 1));
    const QTimeZone::OffsetDataList transitions = zone.transitions(utc(fromUtc), utc(toUtc));
    for (const QTimeZone::OffsetData& t : transitions) {
        const qint64 at = t.atUtc.toSecsSinceEpoch();
        if (at < fromUtc || at >= toUtc || t.offsetFromUtc == offset)
            continue;
        changes.append({at, offset, t.offsetFromUtc});
        offset = t.offsetFromUtc;
    }
    return changes;
}

std::optional<OffsetChange> nextOffsetChange(const QTimeZone& zone, qint64 atUtc) {
    // Transitions are read a year at a time: most zones change within one.
    for (qint64 from = atUtc + 1; from < atUtc + kTwoYears; from += kTwoYears / 2) {
        const QList<OffsetChange> changes = offsetChanges(zone, from, from + kTwoYears / 2);
        if (!changes.isEmpty())
            return changes.first();
    }
    return std::nullopt;
}

QString offsetText(int offsetSeconds) {
    const int minutes = qAbs(offsetSeconds) / 60;
    return QChar(offsetSeconds < 0 ? u'-' : u'+') + QStringLiteral("%1:%2")
                                                        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                                                        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString utcText(qint64 atUtc) {
    return utc(atUtc).toString(QStringLiteral("yyyy-MM-dd hh:mm")) + QStringLiteral(" UTC");
}

}  // namespace qev
