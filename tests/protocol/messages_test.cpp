#include "protocol/messages.h"
#include "base/exception.h"
#include "protocol/date_time_value.h"
#include "protocol/zone_line.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

QByteArray hex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

double valueOf(int y, int m, int d) {
    return valueOfDateTime(QDate(y, m, d), QTime(0, 0));
}

TEST(TimeSetMessage, ExactBytes) {
    EXPECT_EQ(buildTimeSetMessage(valueOf(2026, 3, 7), "12:34:56"),
              hex("02 31 32 33 34 35 36 30 33 30 37 32 36 03"));
    EXPECT_EQ(buildTimeSetMessage(valueOf(1999, 12, 31) + 0.99, "23:59:59"),
              hex("02 32 33 35 39 35 39 31 32 33 31 39 39 03"));
    // No date at all reads as the epoch, 30 December 1899.
    EXPECT_EQ(buildTimeSetMessage(kNoDateValue, "00:00:00").mid(7, 6), "123099");
}

TEST(TimeSetMessage, TimePiecesAreSentAsTheyStand) {
    // Blank digits go out as blanks; no range is imposed; separators never go out.
    EXPECT_EQ(buildTimeSetMessage(valueOf(2000, 1, 2), "2 :  .99"), QByteArray("\x02"
                                                                               "2   99"
                                                                               "010200"
                                                                               "\x03"));
    EXPECT_EQ(buildTimeSetMessage(valueOf(2000, 1, 2), "25:61:61").mid(1, 6), "256161");
    // A shorter text gives shorter pieces.
    EXPECT_EQ(buildTimeSetMessage(valueOf(2000, 1, 2), "12:3"), QByteArray("\x02"
                                                                           "123010200\x03"));
}

TEST(ZoneConfigMessage, DefaultsAndRecords) {
    QByteArray expected("\xEE");
    for (int k = 0; k < 16; ++k) {
        expected += hex("2B 00 00 00 00");
    }
    expected += '\xFA';
    QStringList lines = defaultZoneLines();
    EXPECT_EQ(buildZoneConfigMessage(lines), expected);

    lines[2] = "Zone 02  -05:30  1:US Standard (as of 2007),24 hr";
    lines[15] = "Zone 15  +99:99  0:No DST,24 hr";
    const QByteArray m = buildZoneConfigMessage(lines);
    ASSERT_EQ(m.size(), kZoneConfigMessageSize);
    EXPECT_EQ(m.mid(1 + 5 * 2, 5), hex("2D 05 1E 01 01"));
    EXPECT_EQ(m.mid(1 + 5 * 15, 5), hex("2B 63 63 00 01"));
    EXPECT_EQ(m.left(11), expected.left(11));
    EXPECT_EQ(m.mid(16, 75 - 15), expected.mid(16, 75 - 15));

    // Lines after the sixteenth are never read.
    lines << "garbage";
    EXPECT_EQ(buildZoneConfigMessage(lines), m);
}

TEST(ZoneConfigMessage, BadLinesStopTheWholeBuild) {
    QStringList lines = defaultZoneLines();
    lines[9] = "Zone 09  +ab:00  0:No DST,12 hr";
    try {
        buildZoneConfigMessage(lines);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "''ab'' is not a valid integer value");
    }

    lines = defaultZoneLines().mid(0, 15);
    try {
        buildZoneConfigMessage(lines);
        FAIL();
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.message(), "List index out of bounds (15)");
    }
    EXPECT_THROW(buildZoneConfigMessage({}), EStringListError);
}

TEST(ZoneConfigMessage, ValuesThatAreNoByteAreRefused) {
    QStringList lines = defaultZoneLines();
    lines[4] = "Zone 04  +03:30  -1:,24 hr";  // the editor's "no rule chosen"
    try {
        buildZoneConfigMessage(lines);
        FAIL();
    } catch (const EZoneValueError& e) {
        EXPECT_TRUE(e.message().startsWith("Zone line 04 (\"Zone 04  +03:30  -1:,24 hr\")"));
        EXPECT_TRUE(e.message().contains("DST rule index -1"));
    }
    lines[4] = "Zone 04  +03:30  300:x,12 hr";
    EXPECT_THROW(buildZoneConfigMessage(lines), EZoneValueError);
    lines[4] = "Zone 04  +-5:30  0:No DST,12 hr";
    EXPECT_THROW(buildZoneConfigMessage(lines), EZoneValueError);

    // 128..255 are sent as that byte.
    lines[4] = "Zone 04  +$F:x8  200:x,12 hr";
    EXPECT_EQ(buildZoneConfigMessage(lines).mid(1 + 5 * 4, 5), hex("2B 0F 08 C8 00"));
    lines[4] = "Zone 04  +00:00  $FF:x,12 hr";
    EXPECT_EQ(buildZoneConfigMessage(lines).mid(1 + 5 * 4, 5), hex("2B 00 00 FF 00"));
}

TEST(DateTimeValue, EpochAndWholeDays) {
    EXPECT_EQ(dateOfValue(0.0), QDate(1899, 12, 30));
    EXPECT_EQ(dateOfValue(1.75), QDate(1899, 12, 31));
    EXPECT_EQ(dateOfValue(-1.5), QDate(1899, 12, 29));
    EXPECT_DOUBLE_EQ(valueOfDateTime(QDate(1900, 1, 1), QTime(12, 0)), 2.5);
    EXPECT_EQ(dateOfValue(valueOf(2026, 12, 8)), QDate(2026, 12, 8));
}

}  // namespace
}  // namespace qev
