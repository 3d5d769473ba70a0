#include "protocol/messages.h"

#include "protocol/date_time_value.h"
#include "protocol/zone_line.h"

namespace qev {
namespace {

// One wire byte per character; a character outside the 8-bit range has no byte of its own and
// goes out as '?', as a code-page conversion would send it.
void appendText(QByteArray& out, const QString& text) {
    for (const QChar c : text) {
        out.append(c.unicode() <= 0xFF ? char(c.unicode()) : '?');
    }
}

// The line is named by its place as the list numbers it, from 00, and quoted whole.
char fieldByte(qint32 value, int k, const QString& line, const char* field) {
    if (value < 0 || value > 0xFF) {
        throw EZoneValueError(
            QStringLiteral("Zone line %1 (\"%2\"): the %3 %4 does not fit in one byte (0 to 255). "
                           "Edit the zone and send again.")
                .arg(QStringLiteral("%1").arg(k, 2, 10, QLatin1Char('0')), line,
                     QLatin1String(field), QString::number(value)));
    }
    return char(value);
}

}  // namespace

QByteArray buildTimeSetMessage(double dateValue, const QString& timeText) {
    const QDate date = dateOfValue(dateValue);
    QByteArray out;
    out.reserve(kTimeSetMessageSize);
    out.append('\x02');
    appendText(out, timeText.mid(0, 2));
    appendText(out, timeText.mid(3, 2));
    appendText(out, timeText.mid(6, 2));
    appendText(out, QStringLiteral("%1%2%3")
                        .arg(date.month(), 2, 10, QLatin1Char('0'))
                        .arg(date.day(), 2, 10, QLatin1Char('0'))
                        .arg(((date.year() % 100) + 100) % 100, 2, 10, QLatin1Char('0')));
    out.append('\x03');
    return out;
}

QByteArray zoneRecord(int k, const QString& line) {
    QByteArray out;
    const ZoneRecord r = readForTransmission(line);
    appendText(out, QString(r.sign));
    out.append(fieldByte(r.hours, k, line, "offset hours"));
    out.append(fieldByte(r.minutes, k, line, "offset minutes"));
    out.append(fieldByte(r.ruleIndex, k, line, "DST rule index"));
    out.append(r.is24Hour ? '\x01' : '\x00');
    return out;
}

QByteArray buildZoneConfigMessage(const QStringList& lines) {
    QByteArray out;
    out.reserve(kZoneConfigMessageSize);
    out.append('\xEE');
    for (int k = 0; k < kZoneCount; ++k) {
        if (k >= lines.size()) {
            throw EStringListError(QStringLiteral("List index out of bounds (%1)").arg(k));
        }
        out.append(zoneRecord(k, lines[k]));
    }
    out.append('\xFA');
    return out;
}

}  // namespace qev
