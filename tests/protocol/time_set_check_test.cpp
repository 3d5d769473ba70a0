#include "protocol/time_set_check.h"
#include "protocol/date_time_value.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

const double kDay = valueOfDateTime(QDate(2026, 3, 7), QTime(12, 0));

QString refusal(double date, const QString& time) {
    try {
        checkTimeSetInputs(date, time);
    } catch (const ETimeSetError& e) {
        return e.message();
    }
    return {};
}

TEST(TimeSetCheck, RealDatesAndTimesPassInAnyLocale) {
    for (const char* time : {"00:00:00", "23:59:59", "12.34.56", "09 05 07"})
        EXPECT_EQ(refusal(kDay, QString::fromLatin1(time)), QString()) << time;
    EXPECT_EQ(refusal(valueOfDateTime(QDate(1752, 9, 14), QTime()), "01:02:03"), QString());
}

TEST(TimeSetCheck, NoDateIsRefused) {
    const QString message = refusal(kNoDateValue, "12:00:00");
    EXPECT_TRUE(message.startsWith("The date field holds no date.")) << message.toStdString();
    EXPECT_FALSE(refusal(1e300, "12:00:00").isEmpty());
}

TEST(TimeSetCheck, TimeOutOfRangeNamesTheFirstBadPart) {
    EXPECT_EQ(refusal(kDay, "25:61:61"),
              "The time field (Zulu/UTC) holds \"25:61:61\": the hours must be 00 to 23. "
              "Correct the time and send again.");
    EXPECT_TRUE(refusal(kDay, "24:00:00").contains("the hours must be 00 to 23"));
    EXPECT_TRUE(refusal(kDay, "23:60:00").contains("the minutes must be 00 to 59"));
    EXPECT_TRUE(refusal(kDay, "23:59:60").contains("the seconds must be 00 to 59"));
}

TEST(TimeSetCheck, MissingDigitsAreRefusedBeforeRanges) {
    EXPECT_TRUE(refusal(kDay, "  :  :  ").contains("the hours need two digits"));
    EXPECT_TRUE(refusal(kDay, "99:3 :00").contains("the minutes need two digits"));
    EXPECT_TRUE(refusal(kDay, "12:30:0").contains("the seconds need two digits"));
    EXPECT_TRUE(refusal(kDay, "").contains("the hours need two digits"));
    // Only ASCII digits go to the device.
    EXPECT_TRUE(refusal(kDay, QString::fromUtf8("\u0661\u0662:00:00")).contains("hours"));
    EXPECT_TRUE(refusal(kDay, "+1:00:00").contains("hours"));
}

}  // namespace
}  // namespace qev
