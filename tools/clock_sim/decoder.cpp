#include "decoder.h"

#include "timezones/us_rule.h"

#include <QDate>
#include <QLocale>

#include <cctype>

namespace qev::clocksim {
namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kZoneStart = char(0xEE);
constexpr char kZoneEnd = char(0xFA);

int frameLength(char start) {
    if (start == kStx)
        return Decoder::kTimeSetLength;
    if (start == kZoneStart)
        return Decoder::kZoneConfigLength;
    return 0;
}

char frameEnd(char start) {
    return start == kStx ? kEtx : kZoneEnd;
}

QString printable(const QByteArray& pair) {
    QString s;
    for (char c : pair)
        s += (c >= 0x20 && c < 0x7F) ? QChar(c) : QChar('?');
    return s;
}

// Two ASCII digits, or -1 when either is not a digit.
int twoDigits(const QByteArray& pair) {
    if (pair.size() != 2 || !std::isdigit(uchar(pair[0])) || !std::isdigit(uchar(pair[1])))
        return -1;
    return (pair[0] - '0') * 10 + (pair[1] - '0');
}

QString ruleName(int rule) {
    switch (rule) {
        case 0:
            return QStringLiteral("No DST");
        case 1:
            return QStringLiteral("US Standard (as of 2007)");
        default:
            return QStringLiteral("unknown rule");
    }
}

}  // namespace

QString hexBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

std::vector<Report> Decoder::feed(const QByteArray& bytes) {
    std::vector<Report> out;
    pending_ += bytes;
    scan(out);
    return out;
}

std::vector<Report> Decoder::flush() {
    std::vector<Report> out;
    if (!pending_.isEmpty()) {
        emitStray(out);
        Report r{Report::Kind::Malformed, pending_, {}, {}};
        r.lines << QStringLiteral("MALFORMED: message cut short, %1 of %2 bytes arrived")
                       .arg(pending_.size())
                       .arg(frameLength(pending_[0]));
        out.push_back(std::move(r));
        pending_.clear();
    }
    emitStray(out);
    return out;
}

void Decoder::scan(std::vector<Report>& out) {
    while (!pending_.isEmpty()) {
        const int length = frameLength(pending_[0]);
        if (length == 0) {
            stray_ += pending_[0];
            pending_.remove(0, 1);
            continue;
        }
        if (pending_.size() < length)
            break;  // wait for the rest
        if (pending_[length - 1] != frameEnd(pending_[0])) {
            // Not a frame after all: the start byte is stray, and the bytes after it are
            // scanned again, since a real frame may begin among them.
            stray_ += pending_[0];
            pending_.remove(0, 1);
            continue;
        }
        emitStray(out);
        const QByteArray frame = pending_.left(length);
        pending_.remove(0, length);
        out.push_back(length == kTimeSetLength ? decodeTimeSet(frame) : decodeZoneConfig(frame));
    }
    // Stray bytes wait for the next frame or a pause, so one run of them is one report.
}

void Decoder::emitStray(std::vector<Report>& out) {
    if (stray_.isEmpty())
        return;
    Report r{Report::Kind::Malformed, stray_, {}, {}};
    r.lines << QStringLiteral("MALFORMED: %1 byte(s) that are not part of any message")
                   .arg(stray_.size());
    out.push_back(std::move(r));
    stray_.clear();
}

Report Decoder::decodeTimeSet(const QByteArray& frame) {
    Report r{Report::Kind::TimeSet, frame, {}, {}};
    const QByteArray hh = frame.mid(1, 2), nn = frame.mid(3, 2), ss = frame.mid(5, 2);
    const QByteArray mo = frame.mid(7, 2), dd = frame.mid(9, 2), yy = frame.mid(11, 2);
    const int h = twoDigits(hh), n = twoDigits(nn), s = twoDigits(ss);
    const int m = twoDigits(mo), d = twoDigits(dd), y = twoDigits(yy);

    QString when = QStringLiteral("%1:%2:%3 UTC").arg(printable(hh), printable(nn), printable(ss));
    QString date;
    if (m >= 1 && m <= 12 && d >= 1 && y >= 0) {
        const QDate probe(2000 + y, m, 1);  // the device sees two year digits only
        date = QStringLiteral("%1 %2 '%3").arg(d).arg(QLocale::c().monthName(m)).arg(printable(yy));
        if (d <= 31 && d > probe.daysInMonth())
            r.issues << QStringLiteral("day %1 does not exist in that month").arg(d);
    } else {
        date = QStringLiteral("month %1, day %2, year '%3")
                   .arg(printable(mo), printable(dd), printable(yy));
    }
    r.lines << QStringLiteral("Set time: %1 on %2").arg(when, date);

    const struct {
        const char* name;
        const QByteArray& text;
        int value;
        int low, high;
    } fields[] = {{"hours", hh, h, 0, 23}, {"minutes", nn, n, 0, 59}, {"seconds", ss, s, 0, 59},
                  {"month", mo, m, 1, 12}, {"day", dd, d, 1, 31},     {"year", yy, y, 0, 99}};
    for (const auto& f : fields) {
        if (f.value < 0)
            r.issues << QStringLiteral("%1 are not two digits: %2")
                            .arg(QLatin1String(f.name), hexBytes(f.text));
        else if (f.value < f.low || f.value > f.high)
            r.issues
                << QStringLiteral("%1 out of range: %2").arg(QLatin1String(f.name)).arg(f.value);
    }
    return r;
}

Report Decoder::decodeZoneConfig(const QByteArray& frame) {
    Report r{Report::Kind::ZoneConfig, frame, {}, {}};
    r.lines << QStringLiteral("Zone configuration:");
    for (int k = 0; k < 16; ++k) {
        const char* rec = frame.constData() + 1 + 5 * k;
        const char sign = rec[0];
        const int hours = uchar(rec[1]), minutes = uchar(rec[2]), rule = uchar(rec[3]),
                  mode = uchar(rec[4]);
        const QString signText = (sign == '+' || sign == '-')
                                     ? QString(QChar(sign))
                                     : QStringLiteral("[%1]").arg(uchar(sign), 2, 16, QChar('0'));
        r.lines << QStringLiteral("  zone %1: UTC %2%3:%4, rule %5 (%6), %7")
                       .arg(k, 2, 10, QChar('0'))
                       .arg(signText)
                       .arg(hours, 2, 10, QChar('0'))
                       .arg(minutes, 2, 10, QChar('0'))
                       .arg(rule)
                       .arg(ruleName(rule))
                       .arg(mode == 1   ? QStringLiteral("24-hour")
                            : mode == 0 ? QStringLiteral("12-hour")
                                        : QStringLiteral("mode byte %1").arg(mode));
        const QString zone = QStringLiteral("zone %1: ").arg(k, 2, 10, QChar('0'));
        if (sign != '+' && sign != '-')
            r.issues << zone + QStringLiteral("sign byte %1 is neither + nor -").arg(signText);
        if (hours > 23)
            r.issues << zone + QStringLiteral("offset hours %1 above 23").arg(hours);
        if (minutes > 59)
            r.issues << zone + QStringLiteral("offset minutes %1 above 59").arg(minutes);
        if (rule > 1)
            r.issues << zone + QStringLiteral("rule %1 is not a known DST rule").arg(rule);
        if (mode > 1)
            r.issues << zone + QStringLiteral("mode byte %1 is neither 0 nor 1").arg(mode);
    }
    return r;
}

std::vector<ShownZone> shownZones(const QByteArray& frame, qint64 atUtc) {
    std::vector<ShownZone> zones;
    for (int k = 0; k < 16 && 1 + 5 * k + 4 < frame.size(); ++k) {
        const char* rec = frame.constData() + 1 + 5 * k;
        ZoneRecord record;
        record.sign = QChar(rec[0]);
        record.hours = uchar(rec[1]);
        record.minutes = uchar(rec[2]);
        record.ruleIndex = uchar(rec[3]);
        record.is24Hour = uchar(rec[4]) == 1;
        const int offset = deviceOffset(record, atUtc);
        const QTime time = QDateTime::fromSecsSinceEpoch(atUtc + offset, Qt::UTC).time();
        const QString shown = record.is24Hour ? time.toString(QStringLiteral("HH:mm:ss"))
                                              : QStringLiteral("%1:%2 %3")
                                                    .arg((time.hour() + 11) % 12 + 1, 2)
                                                    .arg(time.toString(QStringLiteral("mm:ss")),
                                                         time.hour() < 12 ? QStringLiteral("AM")
                                                                          : QStringLiteral("PM"));
        zones.push_back({offset, shown});
    }
    return zones;
}

QStringList shownZoneLines(const QByteArray& frame, qint64 atUtc) {
    QStringList lines;
    const std::vector<ShownZone> zones = shownZones(frame, atUtc);
    for (size_t k = 0; k < zones.size(); ++k)
        lines << QStringLiteral("  zone %1 shows %2 (UTC%3)")
                     .arg(int(k), 2, 10, QChar('0'))
                     .arg(zones[k].time, offsetText(zones[k].offset));
    return lines;
}

}  // namespace qev::clocksim
