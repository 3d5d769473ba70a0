// The simulator's reading of the line: whole messages in plain words, and everything that is
// not a well-formed message flagged, however the bytes are split across reads.

#include "decoder.h"

#include <gtest/gtest.h>

namespace qev::clocksim {
namespace {

const QByteArray kTime = QByteArray::fromHex("0231323334353630333037323603");

QByteArray zones(const QByteArray& record4 = QByteArray::fromHex("2B00000000")) {
    QByteArray m(1, char(0xEE));
    for (int k = 0; k < 16; ++k)
        m += k == 4 ? record4 : QByteArray::fromHex("2B00000000");
    return m + char(0xFA);
}

std::vector<Report> feedAll(Decoder& d, const QByteArray& bytes, int chunk) {
    std::vector<Report> all;
    for (qsizetype i = 0; i < bytes.size(); i += chunk)
        for (auto& r : d.feed(bytes.mid(i, chunk)))
            all.push_back(std::move(r));
    for (auto& r : d.flush())
        all.push_back(std::move(r));
    return all;
}

TEST(ClockSimDecoder, WellFormedMessagesInPlainWords) {
    for (int chunk : {1, 5, 200}) {
        Decoder d;
        const auto reports = feedAll(d, kTime + zones(QByteArray::fromHex("2D051E0101")), chunk);
        ASSERT_EQ(reports.size(), 2u) << chunk;
        EXPECT_EQ(reports[0].kind, Report::Kind::TimeSet);
        EXPECT_EQ(reports[0].lines.value(0),
                  QStringLiteral("Set time: 12:34:56 UTC on 7 March '26"));
        EXPECT_TRUE(reports[0].issues.isEmpty());
        EXPECT_EQ(reports[1].kind, Report::Kind::ZoneConfig);
        EXPECT_EQ(reports[1].bytes.size(), 82);
        EXPECT_EQ(reports[1].lines.size(), 17);
        EXPECT_EQ(
            reports[1].lines[5],
            QStringLiteral("  zone 04: UTC -05:30, rule 1 (US Standard (as of 2007)), 24-hour"));
        EXPECT_EQ(reports[1].lines[1],
                  QStringLiteral("  zone 00: UTC +00:00, rule 0 (No DST), 12-hour"));
        EXPECT_TRUE(reports[1].issues.isEmpty());
    }
}

TEST(ClockSimDecoder, StrayBytesWrongEndsAndCutMessagesAreFlagged) {
    Decoder d;
    QByteArray badEnd = kTime;
    badEnd[13] = 0x04;
    const auto reports = feedAll(d, "AB" + badEnd + zones() + kTime.left(6), 7);
    // "AB" and the frame with the wrong end byte form one stray run (its digits cannot start a
    // frame), then the zone message, then the cut-off time message.
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].kind, Report::Kind::Malformed);
    EXPECT_EQ(reports[0].bytes, "AB" + badEnd);
    EXPECT_EQ(reports[1].kind, Report::Kind::ZoneConfig);
    EXPECT_EQ(reports[2].kind, Report::Kind::Malformed);
    EXPECT_EQ(reports[2].bytes, kTime.left(6));
    EXPECT_TRUE(reports[2].lines.value(0).contains(QStringLiteral("6 of 14")));
}

TEST(ClockSimDecoder, AFrameInsideAFalseStartIsStillFound) {
    // A stray start byte right before a real message must not swallow it.
    Decoder d;
    const auto reports = feedAll(d, QByteArray(1, char(0xEE)) + kTime + zones(), 3);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].kind, Report::Kind::Malformed);
    EXPECT_EQ(reports[0].bytes, QByteArray(1, char(0xEE)));
    EXPECT_EQ(reports[1].kind, Report::Kind::TimeSet);
    EXPECT_EQ(reports[2].kind, Report::Kind::ZoneConfig);
}

TEST(ClockSimDecoder, UnusualValuesInSoundFramesAreNamed) {
    Decoder d;
    const auto time =
        Decoder::decodeTimeSet(QByteArray::fromHex("02203539393939313233323939"
                                                   "03"));
    EXPECT_EQ(time.issues.size(), 4)
        << time.issues.join('|').toStdString();  // " 5", 99, 99, day 32
    const auto z = Decoder::decodeZoneConfig(zones(QByteArray::fromHex("2A63630502")));
    ASSERT_EQ(z.issues.size(), 5) << z.issues.join('|').toStdString();
    EXPECT_TRUE(z.issues[0].startsWith(QStringLiteral("zone 04: sign")));
}

}  // namespace
}  // namespace qev::clocksim
