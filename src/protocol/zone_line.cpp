#include "protocol/zone_line.h"

#include "protocol/int_conversion.h"

namespace qev {
namespace {

// QString::mid with a 1-based start: positions past the end read as missing.
QString positions(const QString& line, int first, int count) {
    return line.mid(first - 1, count);
}

}  // namespace

QString zoneName(int k) {
    return QStringLiteral("Zone %1").arg(k, 2, 10, QLatin1Char('0'));
}

const QStringList& dstRuleNames() {
    static const QStringList names{QStringLiteral("No DST"),
                                   QStringLiteral("US Standard (as of 2007)")};
    return names;
}

QStringList defaultZoneLines() {
    QStringList lines;
    lines.reserve(kZoneCount);
    for (int k = 0; k < kZoneCount; ++k) {
        lines << zoneName(k) + QStringLiteral("  +00:00  0:No DST,12 hr");
    }
    return lines;
}

QString zoneTail(const QString& line) {
    return positions(line, 18, 255);
}

qint32 tailRuleIndex(const QString& tail) {
    const qsizetype colon = tail.indexOf(u':');
    return StrToInt(colon < 0 ? QString() : tail.left(colon));
}

bool tailIs24Hour(const QString& tail) {
    // Only the one character after the first comma counts; with no comma the test falls on the
    // tail's first character.
    const qsizetype at = tail.indexOf(u',') + 1;
    return at < tail.size() && tail[at] == u'2';
}

ZoneRecord readForTransmission(const QString& line) {
    ZoneRecord r;
    r.hours = StrToInt(positions(line, 11, 2));
    r.sign = line.size() >= 10 ? line[9] : QChar();
    r.minutes = StrToInt(positions(line, 14, 2));
    const QString tail = zoneTail(line);
    r.ruleIndex = tailRuleIndex(tail);
    r.is24Hour = tailIs24Hour(tail);
    return r;
}

ZoneEdit readForEditing(const QString& line) {
    ZoneEdit e;
    e.zoneName = positions(line, 1, 7);
    e.offsetText = positions(line, 11, 5);
    e.negative = line.size() >= 10 && line[9] == u'-';
    const QString tail = zoneTail(line);
    e.ruleIndex = tailRuleIndex(tail);
    e.is24Hour = tailIs24Hour(tail);
    return e;
}

QString offsetForField(const QString& line, QChar fieldSeparator) {
    return positions(line, 11, 2) + fieldSeparator + positions(line, 14, 2);
}

QString offsetFromField(const QString& fieldText) {
    return fieldText.left(2) + u':' + fieldText.mid(3, 2);
}

QString tailRuleText(const QString& tail) {
    const qsizetype comma = tail.indexOf(u',');
    return comma < 0 ? tail : tail.left(comma);
}

QString writeZoneLine(const QString& zoneName, bool negative, const QString& offsetText,
                      int ruleIndex, const QString& ruleName, bool is24Hour) {
    return writeZoneLine(zoneName, negative, offsetText,
                         QString::number(ruleIndex) + u':' + ruleName, is24Hour);
}

QString writeZoneLine(const QString& zoneName, bool negative, const QString& offsetText,
                      const QString& ruleText, bool is24Hour) {
    return zoneName + QStringLiteral("  ") + (negative ? u'-' : u'+') + offsetText +
           QStringLiteral("  ") + ruleText + u',' +
           (is24Hour ? QStringLiteral("24 hr") : QStringLiteral("12 hr"));
}

}  // namespace qev
