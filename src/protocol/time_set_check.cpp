#include "protocol/time_set_check.h"

#include "protocol/date_time_value.h"

namespace qev {
namespace {

// The two-digit number at pos, or -1 when either character is no ASCII digit.
int twoDigits(const QString& text, int pos) {
    if (text.size() < pos + 2) {
        return -1;
    }
    const QChar hi = text[pos];
    const QChar lo = text[pos + 1];
    if (hi < u'0' || hi > u'9' || lo < u'0' || lo > u'9') {
        return -1;
    }
    return (hi.unicode() - u'0') * 10 + (lo.unicode() - u'0');
}

[[noreturn]] void refuseTime(const QString& timeText, const QString& fault) {
    throw ETimeSetError(
        QStringLiteral("The time field (Zulu/UTC) holds \"%1\": %2. Correct the time and send "
                       "again.")
            .arg(timeText, fault));
}

}  // namespace

void checkTimeSetInputs(double dateValue, const QString& timeText) {
    if (dateValue == kNoDateValue || !dateOfValue(dateValue).isValid()) {
        throw ETimeSetError(
            QStringLiteral("The date field holds no date. Type the date as month/day/year, or "
                           "press \"Sync w/PC and Send\"."));
    }
    struct Part {
        int pos;
        int max;
        const char* name;
    };
    static constexpr Part kParts[] = {{0, 23, "hours"}, {3, 59, "minutes"}, {6, 59, "seconds"}};
    for (const Part& p : kParts) {
        if (twoDigits(timeText, p.pos) < 0) {
            refuseTime(timeText,
                       QStringLiteral("the %1 need two digits").arg(QLatin1String(p.name)));
        }
    }
    for (const Part& p : kParts) {
        if (twoDigits(timeText, p.pos) > p.max) {
            refuseTime(
                timeText,
                QStringLiteral("the %1 must be 00 to %2").arg(QLatin1String(p.name)).arg(p.max));
        }
    }
}

}  // namespace qev
