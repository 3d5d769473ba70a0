#include "widgets/date_format.h"

#include "widgets/parsed_mask.h"

#include <QPoint>
#include <QSize>

#include <algorithm>

namespace qev {

namespace {

void replaceFirst(QString& s, QStringView what, const QString& with) {
    const qsizetype at = s.indexOf(what);
    if (at >= 0) {
        s.replace(at, what.size(), with);
    }
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

TDateFigure figureOfLetter(QChar upper) {
    switch (upper.unicode()) {
        case u'D':
            return TDateFigure::dfDay;
        case u'M':
            return TDateFigure::dfMonth;
        case u'Y':
            return TDateFigure::dfYear;
        default:
            return TDateFigure::dfNone;
    }
}

}  // namespace

QChar separatorOfFormat(const QString& format, QChar systemSeparator) {
    QString rest = format.trimmed();
    rest.remove(u'd');
    rest.remove(u'M');
    rest.remove(u'y');
    return rest.isEmpty() ? systemSeparator : rest[0];
}

QString internalDateFormat(const QString& format, const LocaleFormats& locale) {
    QString f = format;
    replaceFirst(f, u"dddddd", locale.longDateFormat);
    replaceFirst(f, u"ddddd", locale.shortDateFormat);
    replaceFirst(f, u"dddd", QString());
    replaceFirst(f, u"ddd", QString());
    replaceFirst(f, u"MMMM", QStringLiteral("MM"));
    replaceFirst(f, u"MMM", QStringLiteral("M"));
    return f;
}

QString maskOfDateFormat(const QString& internalFormat) {
    QString m = internalFormat;
    replaceFirst(m, u"dd", QStringLiteral("00"));
    replaceFirst(m, u"d", QStringLiteral("99"));
    replaceFirst(m, u"MM", QStringLiteral("00"));
    replaceFirst(m, u"M", QStringLiteral("99"));
    replaceFirst(m, u"yyyy", QStringLiteral("0099"));
    replaceFirst(m, u"yy", QStringLiteral("00"));
    replaceFirst(m, u" ", QStringLiteral("_"));
    return m.trimmed() + QStringLiteral("!;1;_");
}

DateFigures figuresOf(const ParsedMask& mask, const QString& internalFormat, QChar separator) {
    const int n = mask.size();
    int first = -1;
    int last = -1;
    for (int i = 0; i < n; ++i) {
        if (!mask.at(i).isData() && mask.at(i).maskChar == separator) {
            first = first < 0 ? i : first;
            last = i;
        }
    }
    // 0-based first positions and lengths of the three figures.
    int starts[3] = {0, n, n};
    int ends[3] = {n, n, n};
    if (first >= 0) {
        ends[0] = first;
        starts[1] = first + 1;
        ends[1] = last > first ? last : n;
        if (last > first) {
            starts[2] = last + 1;
        }
    }
    const QString upper = internalFormat.toUpper();
    DateFigures figures{};
    for (int k = 0; k < 3; ++k) {
        TDateFigureInfo& f = figures[size_t(k)];
        f.Start = std::uint8_t(std::min(starts[k] + 1, 255));
        f.Length = std::uint8_t(std::clamp(ends[k] - starts[k], 0, 255));
        f.Index = std::uint8_t(k);
        f.Figure =
            starts[k] < upper.size() ? figureOfLetter(upper[starts[k]]) : TDateFigure::dfNone;
    }
    // Formats whose figures differ in width from the mask ("M/d/yy") do not name every figure
    // by position; the reading order names them instead.
    static constexpr TDateFigure kOrders[3][3] = {
        {TDateFigure::dfMonth, TDateFigure::dfDay, TDateFigure::dfYear},
        {TDateFigure::dfDay, TDateFigure::dfMonth, TDateFigure::dfYear},
        {TDateFigure::dfYear, TDateFigure::dfMonth, TDateFigure::dfDay}};
    const auto& order = kOrders[int(dateOrderOf(internalFormat))];
    for (int k = 0; k < 3; ++k) {
        if (figures[size_t(k)].Figure == TDateFigure::dfNone && figures[size_t(k)].Length > 0) {
            figures[size_t(k)].Figure = order[k];
        }
    }
    return figures;
}

QString formatDate(const QDate& date, const QString& internalFormat, QChar separator) {
    QString out;
    const qsizetype n = internalFormat.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = internalFormat[i];
        qsizetype run = 1;
        while (i + run < n && internalFormat[i + run] == c) {
            ++run;
        }
        if (c == u'd' || c == u'M') {
            const int v = c == u'd' ? date.day() : date.month();
            out += run == 1 ? QString::number(v) : QString::number(v).rightJustified(2, u'0');
        } else if (c == u'y') {
            out += run <= 2 ? QString::number(date.year() % 100).rightJustified(2, u'0')
                            : QString::number(date.year()).rightJustified(4, u'0');
        } else if (c == u'\'') {
            // Quoted text stands as written.
            const qsizetype close = internalFormat.indexOf(u'\'', i + 1);
            const qsizetype stop = close < 0 ? n : close;
            out += internalFormat.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        } else {
            out += QString(run, c == u'/' ? separator : c);
        }
        i += run;
    }
    return out;
}

DateOrder dateOrderOf(const QString& format) {
    for (const QChar c : format) {
        switch (c.toUpper().unicode()) {
            case u'M':
                return DateOrder::MonthDayYear;
            case u'D':
                return DateOrder::DayMonthYear;
            case u'E':
            case u'Y':
                return DateOrder::YearMonthDay;
            default:
                break;
        }
    }
    return DateOrder::MonthDayYear;
}

std::optional<QDate> readDate(const QString& text, QChar separator, const QString& format,
                              int currentYear) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipSpaces = [&] {
        while (i < n && text[i] == u' ') {
            ++i;
        }
    };
    auto separatorNext = [&] {
        skipSpaces();
        if (i < n && text[i] == separator) {
            ++i;
            return true;
        }
        return false;
    };
    struct Number {
        int value = 0;
        int digits = 0;
    };
    auto number = [&](Number& out) {
        skipSpaces();
        out = Number{};
        // A value of four figures takes no further digit.
        while (i < n && isAsciiDigit(text[i]) && out.value < 1000) {
            out.value = out.value * 10 + (text[i].unicode() - u'0');
            ++out.digits;
            ++i;
        }
        return out.digits > 0;
    };

    Number a;
    Number b;
    Number c;
    if (!number(a) || !separatorNext() || !number(b)) {
        return std::nullopt;
    }
    const bool withYear = separatorNext();
    if (withYear && !number(c)) {
        return std::nullopt;
    }
    if (withYear) {
        separatorNext();
    }
    skipSpaces();
    if (i != n) {
        return std::nullopt;
    }

    int year = currentYear;
    int month = 0;
    int day = 0;
    const DateOrder order = dateOrderOf(format);
    if (!withYear) {
        month = order == DateOrder::DayMonthYear ? b.value : a.value;
        day = order == DateOrder::DayMonthYear ? a.value : b.value;
    } else {
        Number y;
        switch (order) {
            case DateOrder::MonthDayYear:
                month = a.value, day = b.value, y = c;
                break;
            case DateOrder::DayMonthYear:
                day = a.value, month = b.value, y = c;
                break;
            case DateOrder::YearMonthDay:
                y = a, month = b.value, day = c.value;
                break;
        }
        year = y.value;
        if (y.digits <= 2) {
            const int windowStart = currentYear - 50;
            year += windowStart / 100 * 100;
            if (year < windowStart) {
                year += 100;
            }
        }
    }
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day)) {
        return std::nullopt;
    }
    return QDate(year, month, day);
}

QPoint dropDownPosition(const QRect& field, const QSize& popup, const QRect& workArea) {
    // Right edges aligned, unless that crosses the work area's left border.
    int x = field.right() + 1 - popup.width();
    if (x < workArea.left()) {
        x = field.left();
    }
    x = std::min(x, workArea.right() + 1 - popup.width());
    x = std::max(x, workArea.left());
    int y = field.bottom() + 1;
    if (y + popup.height() > workArea.bottom() + 1) {
        y = field.top() - popup.height();
    }
    return {x, y};
}

}  // namespace qev
