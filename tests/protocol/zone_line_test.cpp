#include "protocol/zone_line.h"
#include "base/exception.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

const QString kUsLine = QStringLiteral("Zone 03  -10:30  1:US Standard (as of 2007),24 hr");

TEST(ZoneLine, DefaultsAreSixteenWellFormedLines) {
    const QStringList lines = defaultZoneLines();
    ASSERT_EQ(lines.size(), 16);
    EXPECT_EQ(lines.first(), "Zone 00  +00:00  0:No DST,12 hr");
    EXPECT_EQ(lines.last(), "Zone 15  +00:00  0:No DST,12 hr");
    EXPECT_EQ(lines.first().size(), 31);
    EXPECT_EQ(kUsLine.size(), 49);
    EXPECT_EQ(dstRuleNames(), QStringList({"No DST", "US Standard (as of 2007)"}));
}

TEST(ZoneLine, ReadsEveryFieldForTransmission) {
    const ZoneRecord us = readForTransmission(kUsLine);
    EXPECT_EQ(us.sign, u'-');
    EXPECT_EQ(us.hours, 10);
    EXPECT_EQ(us.minutes, 30);
    EXPECT_EQ(us.ruleIndex, 1);
    EXPECT_TRUE(us.is24Hour);

    const ZoneRecord plain = readForTransmission(defaultZoneLines()[4]);
    EXPECT_EQ(plain.sign, u'+');
    EXPECT_EQ(plain.hours, 0);
    EXPECT_EQ(plain.minutes, 0);
    EXPECT_EQ(plain.ruleIndex, 0);
    EXPECT_FALSE(plain.is24Hour);
}

TEST(ZoneLine, FieldsGoThroughTheIntegerConversion) {
    EXPECT_EQ(readForTransmission("Zone 00  + 5:00  0:No DST,12 hr").hours, 5);
    EXPECT_EQ(readForTransmission("Zone 00  +$A:00  0:No DST,12 hr").hours, 10);
    EXPECT_EQ(readForTransmission("Zone 00  +x5:00  0:No DST,12 hr").hours, 5);
    try {
        readForTransmission("Zone 00  +5 :00  0:No DST,12 hr");
        FAIL() << "a blank after the digits must not read";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "''5 '' is not a valid integer value");
    }
}

TEST(ZoneLine, TailRulesUseTheFirstColonAndComma) {
    // No colon: the rule index text is empty.
    try {
        readForEditing("Zone 00  +00:00  0 No DST,12 hr");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "'''' is not a valid integer value");
    }
    // No comma: the mode test falls on the tail's first character.
    EXPECT_FALSE(readForEditing("Zone 00  +00:00  1:US Standard (as of 2007)").is24Hour);
    EXPECT_TRUE(readForEditing("Zone 00  +00:00  2:whatever").is24Hour);
    // Only the character right after the first comma counts.
    EXPECT_TRUE(readForEditing("Zone 00  +00:00  0:No DST,2").is24Hour);
    EXPECT_FALSE(readForEditing("Zone 00  +00:00  0:No DST,").is24Hour);
    EXPECT_FALSE(readForEditing("Zone 00  +00:00  0:No DST, 24 hr").is24Hour);
    EXPECT_FALSE(readForEditing("Zone 00  +00:00  0:a,12 hr,24 hr").is24Hour);
    EXPECT_EQ(tailRuleIndex("1:x:y"), 1);
}

TEST(ZoneLine, ShortLinesReadAsMissingPositions) {
    // Fewer than 18 characters: empty tail, so the editor fails on the rule index.
    EXPECT_THROW(readForEditing("Zone 00  +05:30"), EConvertError);
    // Fewer than 11 characters: the sender fails on the hours first.
    try {
        readForTransmission("Zone 00  +");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "'''' is not a valid integer value");
    }
    // The editor never reads past the end: the sign counts as "not minus".
    EXPECT_EQ(zoneTail("Zone 0"), QString());
}

TEST(ZoneLine, EditorRoundTripAndRewrite) {
    for (const QString& line : {defaultZoneLines()[7], kUsLine}) {
        const ZoneEdit e = readForEditing(line);
        EXPECT_EQ(writeZoneLine(e.zoneName, e.negative, e.offsetText, e.ruleIndex,
                                dstRuleNames()[e.ruleIndex], e.is24Hour),
                  line);
    }
    const ZoneEdit odd = readForEditing("Zone 09xx*03:30xx0:No DST,12 hr");
    EXPECT_EQ(odd.zoneName, "Zone 09");
    EXPECT_EQ(odd.offsetText, "03:30");
    EXPECT_FALSE(odd.negative);  // any sign but "-" is positive
    EXPECT_EQ(writeZoneLine(odd.zoneName, odd.negative, odd.offsetText, odd.ruleIndex, "No DST",
                            odd.is24Hour),
              "Zone 09  +03:30  0:No DST,12 hr");
    // Gaps come back as two blanks; no rule selected writes "-1" and an empty name.
    EXPECT_EQ(writeZoneLine("Zone 04", false, "03:30", -1, QString(), true),
              "Zone 04  +03:30  -1:,24 hr");
    EXPECT_EQ(readForEditing("Zone 04  +03:30  -1:,24 hr").ruleIndex, -1);
}

TEST(ZoneLine, OffsetCrossesToAFieldAndBackByPosition) {
    // The line's ":" never reaches a field that shows another separator, and comes back.
    EXPECT_EQ(offsetForField(kUsLine, u'.'), "10.30");
    EXPECT_EQ(offsetFromField("10.30"), "10:30");
    EXPECT_EQ(offsetForField("Zone 01  +05.30  0:No DST,12 hr", u':'), "05:30");
    // Blanks stay where they are; a short line gives short pieces.
    EXPECT_EQ(offsetFromField(" 5.  "), " 5:  ");
    EXPECT_EQ(offsetForField("Zone 01  +5", u'.'), "5.");
    EXPECT_EQ(offsetForField("Zone 01", u'.'), ".");

    EXPECT_EQ(tailRuleText("5:Mystery,12 hr"), "5:Mystery");
    EXPECT_EQ(tailRuleText("1:US Standard (as of 2007)"), "1:US Standard (as of 2007)");
    EXPECT_EQ(writeZoneLine("Zone 09", true, "01:00", "5:Mystery", true),
              "Zone 09  -01:00  5:Mystery,24 hr");
}

}  // namespace
}  // namespace qev
