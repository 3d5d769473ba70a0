#include "protocol/int_conversion.h"
#include "base/exception.h"

#include <gtest/gtest.h>

#include <limits>

namespace qev {
namespace {

QString failureOf(const QString& text) {
    try {
        StrToInt(text);
    } catch (const EConvertError& e) {
        return e.message();
    }
    return QStringLiteral("<accepted>");
}

TEST(IntConversion, DecimalWithBlanksAndSigns) {
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt(" 5"), 5);
    EXPECT_EQ(StrToInt("   007"), 7);
    EXPECT_EQ(StrToInt("+12"), 12);
    EXPECT_EQ(StrToInt("-1"), -1);
    EXPECT_EQ(StrToInt("  -30"), -30);
}

TEST(IntConversion, DecimalRangeIsSigned32Bit) {
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), qint32(-2147483647 - 1));
    EXPECT_EQ(StrToInt("0000000000002147483647"), 2147483647);
    EXPECT_EQ(failureOf("2147483648"), "''2147483648'' is not a valid integer value");
    EXPECT_EQ(failureOf("-2147483649"), "''-2147483649'' is not a valid integer value");
    EXPECT_EQ(failureOf("99999999999999999999999"),
              "''99999999999999999999999'' is not a valid integer value");
}

TEST(IntConversion, EveryHexadecimalPrefix) {
    EXPECT_EQ(StrToInt("$A"), 10);
    EXPECT_EQ(StrToInt("x5"), 5);
    EXPECT_EQ(StrToInt("X1f"), 31);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("0XfF"), 255);
    EXPECT_EQ(StrToInt(" -$10"), -16);
    EXPECT_EQ(StrToInt("+$7"), 7);
}

TEST(IntConversion, HexadecimalLimitIsEightSignificantDigits) {
    EXPECT_EQ(StrToInt("$7FFFFFFF"), 2147483647);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);  // the full 32-bit pattern
    EXPECT_EQ(StrToInt("$80000000"), qint32(-2147483647 - 1));
    EXPECT_EQ(StrToInt("$0000000012345678"), 0x12345678);  // leading zeros are not significant
    EXPECT_EQ(failureOf("$100000000"), "''$100000000'' is not a valid integer value");
}

TEST(IntConversion, SixtyFourBitsReadTheSameWay) {
    EXPECT_EQ(TryStrToInt64(u" -9223372036854775808"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(TryStrToInt64(u"9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(TryStrToInt64(u"9223372036854775808"), std::nullopt);
    EXPECT_EQ(TryStrToInt64(u"4294967295"), 4294967295LL);
    EXPECT_EQ(TryStrToInt64(u"$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(TryStrToInt64(u"x10000000000000000"), std::nullopt);
    EXPECT_EQ(TryStrToInt64(u"0x1F"), 31);
    EXPECT_EQ(TryStrToInt64(u"x"), std::nullopt);
    EXPECT_EQ(TryStrToInt64(u"5 "), std::nullopt);
}

TEST(IntConversion, MalformedFieldsNameTheirText) {
    // An empty field gives four apostrophes in a row.
    EXPECT_EQ(failureOf(""), "'''' is not a valid integer value");
    EXPECT_EQ(failureOf("   "), "''   '' is not a valid integer value");
    EXPECT_EQ(failureOf("5 "), "''5 '' is not a valid integer value");
    EXPECT_EQ(failureOf("-"), "''-'' is not a valid integer value");
    EXPECT_EQ(failureOf("+ 5"), "''+ 5'' is not a valid integer value");
    EXPECT_EQ(failureOf("$"), "''$'' is not a valid integer value");
    EXPECT_EQ(failureOf("0x"), "''0x'' is not a valid integer value");
    EXPECT_EQ(failureOf("$G"), "''$G'' is not a valid integer value");
    EXPECT_EQ(failureOf("1A"), "''1A'' is not a valid integer value");
    EXPECT_EQ(failureOf("00x5"), "''00x5'' is not a valid integer value");
    EXPECT_EQ(failureOf("--1"), "''--1'' is not a valid integer value");
    EXPECT_EQ(failureOf(QString::fromUtf8("\xd9\xa3")),
              "''\xd9\xa3'' is not a valid integer value");
}

}  // namespace
}  // namespace qev
