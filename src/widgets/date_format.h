#pragma once
// What the date field derives from its date format: the separator, the format actually used,
// the edit mask and the three figures; and the reading and writing of dates in that format.

#include "widgets/locale_formats.h"

#include <QDate>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace qev {

class ParsedMask;

enum class TDateFigure : std::uint8_t { dfNone, dfYear, dfMonth, dfDay };

struct TDateFigureInfo {
    TDateFigure Figure = TDateFigure::dfNone;
    std::uint8_t Start = 0;   // first position, from 1
    std::uint8_t Length = 0;  // number of positions
    std::uint8_t Index = 0;   // order in the text, 0 to 2
};
using DateFigures = std::array<TDateFigureInfo, 3>;

// The separator a format implies: its first character that is not d, M, y or an outer space.
QChar separatorOfFormat(const QString& format, QChar systemSeparator);
// The format actually used: long and short date stand-ins expanded, day and month names dropped.
QString internalDateFormat(const QString& format, const LocaleFormats& locale);
// "MM/dd/yyyy" gives "00/00/0099!;1;_".
QString maskOfDateFormat(const QString& internalFormat);
DateFigures figuresOf(const ParsedMask& mask, const QString& internalFormat, QChar separator);

// The date in the format's numeric fields, the separator in place of every "/".
QString formatDate(const QDate& date, const QString& internalFormat, QChar separator);

enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };
DateOrder dateOrderOf(const QString& format);

// Reads "m/d/y" or "m/d" (in the format's order); two-digit years land in the hundred years
// that begin 50 years before currentYear. Nothing when the text is no calendar date.
std::optional<QDate> readDate(const QString& text, QChar separator, const QString& format,
                              int currentYear);

// Where a drop-down of the given size goes under (or above) the field, inside the work area.
QPoint dropDownPosition(const QRect& field, const QSize& popup, const QRect& workArea);

}  // namespace qev
