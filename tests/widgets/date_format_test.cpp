#include "widgets/date_format.h"
#include "base/error_sink.h"
#include "protocol/date_time_value.h"
#include "widgets/parsed_mask.h"

#include "base/exception.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace qev;

namespace {

const QString kFormat = QStringLiteral("MM/dd/yyyy");

std::optional<QDate> read(const QString& text, int currentYear = 2026,
                          const QString& format = kFormat, QChar sep = u'/') {
    return readDate(text, sep, format, currentYear);
}

}  // namespace

TEST(DateFormat, MaskSeparatorAndFiguresOfTheFieldFormat) {
    EXPECT_EQ(separatorOfFormat(kFormat, u'.'), u'/');
    EXPECT_EQ(separatorOfFormat(QStringLiteral(" dd.MM.yy "), u'/'), u'.');
    EXPECT_EQ(separatorOfFormat(QStringLiteral("ddMMyyyy"), u'-'), u'-');

    const QString mask = maskOfDateFormat(internalDateFormat(kFormat, LocaleFormats{}));
    EXPECT_EQ(mask, QStringLiteral("00/00/0099!;1;_"));
    const ParsedMask parsed(mask, u':', u'/');
    ASSERT_EQ(parsed.size(), 10);
    EXPECT_EQ(parsed.at(8).kind, PositionKind::Optional);
    EXPECT_EQ(parsed.at(7).kind, PositionKind::Required);
    EXPECT_EQ(parsed.textFromEdit(parsed.emptyEditText()), QStringLiteral("  /  /    "));

    const DateFigures f = figuresOf(parsed, kFormat, u'/');
    EXPECT_EQ(f[0].Figure, TDateFigure::dfMonth);
    EXPECT_EQ(f[0].Start, 1);
    EXPECT_EQ(f[0].Length, 2);
    EXPECT_EQ(f[1].Figure, TDateFigure::dfDay);
    EXPECT_EQ(f[1].Start, 4);
    EXPECT_EQ(f[1].Length, 2);
    EXPECT_EQ(f[2].Figure, TDateFigure::dfYear);
    EXPECT_EQ(f[2].Start, 7);
    EXPECT_EQ(f[2].Length, 4);
    EXPECT_EQ(f[2].Index, 2);
}

TEST(DateFormat, NamesAndStandInsInTheInternalFormat) {
    LocaleFormats locale;
    locale.shortDateFormat = QStringLiteral("dd.MM.yy");
    locale.longDateFormat = QStringLiteral("d MMMM yyyy");
    EXPECT_EQ(internalDateFormat(QStringLiteral("ddddd"), locale), QStringLiteral("dd.MM.yy"));
    EXPECT_EQ(internalDateFormat(QStringLiteral("dddd dd/MMMM/yyyy"), locale),
              QStringLiteral(" dd/MM/yyyy"));
    EXPECT_EQ(internalDateFormat(QStringLiteral("MMM d yy"), locale), QStringLiteral("M d yy"));
    EXPECT_EQ(maskOfDateFormat(QStringLiteral("d/M/yy")), QStringLiteral("99/99/00!;1;_"));
    EXPECT_EQ(maskOfDateFormat(QStringLiteral("yyyy MM dd")), QStringLiteral("0099_00 00!;1;_"));
}

TEST(DateFormat, WritesWithTheFieldSeparator) {
    const QDate d(2026, 3, 7);
    EXPECT_EQ(formatDate(d, kFormat, u'/'), QStringLiteral("03/07/2026"));
    EXPECT_EQ(formatDate(d, kFormat, u'-'), QStringLiteral("03-07-2026"));
    EXPECT_EQ(formatDate(d, QStringLiteral("d.M.yy"), u'/'), QStringLiteral("7.3.26"));
    EXPECT_EQ(formatDate(QDate(987, 1, 2), kFormat, u'/'), QStringLiteral("01/02/0987"));
}

TEST(DateReading, FigureOrderComesFromTheFormat) {
    EXPECT_EQ(read(QStringLiteral("12/08/2026")), QDate(2026, 12, 8));
    EXPECT_EQ(read(QStringLiteral("08.12.2026"), 2026, QStringLiteral("dd.MM.yyyy"), u'.'),
              QDate(2026, 12, 8));
    EXPECT_EQ(read(QStringLiteral("2026-12-08"), 2026, QStringLiteral("yyyy-MM-dd"), u'-'),
              QDate(2026, 12, 8));
    // Two figures are month and day of the current year (day and month in day-first order).
    EXPECT_EQ(read(QStringLiteral("12/8"), 2031), QDate(2031, 12, 8));
    EXPECT_EQ(read(QStringLiteral("8.12"), 2031, QStringLiteral("dd.MM.yyyy"), u'.'),
              QDate(2031, 12, 8));
}

TEST(DateReading, TwoDigitYearsLandAroundTheCurrentYear) {
    EXPECT_EQ(read(QStringLiteral("12/08/26")), QDate(2026, 12, 8));
    EXPECT_EQ(read(QStringLiteral("1/1/76")), QDate(1976, 1, 1));  // 50 years before
    EXPECT_EQ(read(QStringLiteral("1/1/75")), QDate(2075, 1, 1));  // 49 years after
    EXPECT_EQ(read(QStringLiteral("1/1/0")), QDate(2000, 1, 1));
    EXPECT_EQ(read(QStringLiteral("1/1/48"), 2099), QDate(2148, 1, 1));
    EXPECT_EQ(read(QStringLiteral("1/1/49"), 2099), QDate(2049, 1, 1));
    // Three or more figures stand as written.
    EXPECT_EQ(read(QStringLiteral("1/1/202")), QDate(202, 1, 1));
    EXPECT_EQ(read(QStringLiteral("1/1/0026")), QDate(26, 1, 1));
}

TEST(DateReading, UnreadableTexts) {
    EXPECT_FALSE(read(QStringLiteral("02/30/2026")));
    EXPECT_FALSE(read(QStringLiteral("13/01/2026")));
    EXPECT_FALSE(read(QStringLiteral("00/10/2026")));
    EXPECT_FALSE(read(QStringLiteral("12/08/")));  // a separator promises the year
    EXPECT_FALSE(read(QStringLiteral("12//2026")));
    EXPECT_FALSE(read(QStringLiteral("12/08/2026x")));
    EXPECT_FALSE(read(QStringLiteral("12/08/20261")));  // no digit after four figures
    EXPECT_FALSE(read(QStringLiteral("1/1/0000")));
    EXPECT_FALSE(read(QStringLiteral("12-08-2026")));  // not the field's separator
    EXPECT_FALSE(read(QString()));
    // One trailing separator and spaces may follow.
    EXPECT_EQ(read(QStringLiteral(" 12 / 08 / 2026 /  ")), QDate(2026, 12, 8));
    EXPECT_FALSE(read(QStringLiteral("12/08/2026//")));
}

TEST(DropDownPlacement, UnderTheFieldInsideTheWorkArea) {
    const QRect work(0, 0, 800, 600);
    const QSize popup(200, 150);
    // Right edges aligned.
    EXPECT_EQ(dropDownPosition(QRect(300, 100, 117, 21), popup, work), QPoint(217, 121));
    // Would cross the left border: left edges aligned instead.
    EXPECT_EQ(dropDownPosition(QRect(10, 100, 117, 21), popup, work), QPoint(10, 121));
    // No room below: above the field.
    EXPECT_EQ(dropDownPosition(QRect(300, 500, 117, 21), popup, work), QPoint(217, 350));
    // Kept inside on the right.
    EXPECT_EQ(dropDownPosition(QRect(-50, 100, 1000, 21), popup, work).x(), 600);
}

TEST(DateValue, WholeDaysAndTimeOfDay) {
    EXPECT_EQ(valueOfDate(QDate(1899, 12, 30)), 0.0);
    EXPECT_EQ(valueOfDate(QDate(1900, 1, 1)), 2.0);
    EXPECT_EQ(valueOfDate(QDate(2000, 1, 1)), 36526.0);
    EXPECT_EQ(valueOfDateTime(QDateTime(QDate(2000, 1, 1), QTime(6, 0))), 36526.25);
    EXPECT_EQ(dateTimeOfValue(36526.75), QDateTime(QDate(2000, 1, 1), QTime(18, 0)));
    // Before the epoch the fraction still counts forward from midnight.
    EXPECT_EQ(dateTimeOfValue(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    const QDateTime t(QDate(2026, 12, 8), QTime(23, 59, 59, 999));
    EXPECT_EQ(dateTimeOfValue(valueOfDateTime(t)), t);
    EXPECT_FALSE(dateTimeOfValue(1e12).isValid());
}

TEST(ErrorSink, ReportsInsteadOfUnwinding) {
    EXPECT_THROW(runGuarded([] { throw EConvertError(QStringLiteral("x")); }), EConvertError);
    std::exception_ptr seen;
    setErrorReporter([&](std::exception_ptr e) { seen = e; });
    EXPECT_NO_THROW(runGuarded([] { throw EAbort(); }));
    ASSERT_TRUE(seen);
    EXPECT_THROW(std::rethrow_exception(seen), EAbort);
    seen = nullptr;
    runGuarded([] {});
    EXPECT_FALSE(seen);
    setErrorReporter({});
}
