// When a timed time-set message goes out, and which second it carries.

#include "serial/sync_timing.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

constexpr qint64 kMs = 1'000'000;
constexpr qint64 kS = kNanosPerSecond;
constexpr qint64 kSecond = 1'772'886'896;  // 2026-03-07 12:34:56 UTC
const qint64 kWire = wireTimeNs(14, 4800);

TEST(SyncTiming, WireTimeOfTheTimeSetMessage) {
    EXPECT_EQ(kWire, 29'166'667);  // 140 bit times at 4800 baud
    EXPECT_EQ(wireTimeNs(82, 4800), 170'833'333);
    EXPECT_EQ(wireTimeNs(14, 4800, 11), 32'083'333);  // two stop bits
    EXPECT_EQ(wireTimeNs(14, 0), 0);
    EXPECT_EQ(wireTimeNs(0, 4800), 0);
}

TEST(SyncTiming, MessageEndsExactlyWhenItsSecondStarts) {
    for (const qint64 into : {qint64(0), 1 * kMs, 400 * kMs, 969 * kMs}) {
        const SyncPlan plan = planSync(kSecond * kS + into, kWire, kMs);
        EXPECT_EQ(plan.second, kSecond + 1) << into;
        EXPECT_EQ(plan.sendAtNs + kWire, plan.second * kS) << into;
        EXPECT_GE(plan.sendAtNs, kSecond * kS + into + kMs) << into;
    }
}

TEST(SyncTiming, TooLateForTheNextBoundaryTakesTheOneAfter) {
    // Within the last wire time (and lead) before a boundary, that boundary can no longer be
    // met: sending anyway would end the message after its second had begun.
    for (const qint64 into : {970 * kMs + 1, 990 * kMs, kS - 1}) {
        const SyncPlan plan = planSync(kSecond * kS + into, kWire, kMs);
        EXPECT_EQ(plan.second, kSecond + 2) << into;
        EXPECT_EQ(plan.sendAtNs, (kSecond + 2) * kS - kWire) << into;
    }
}

TEST(SyncTiming, EdgeOfTheLeadStillMeetsTheBoundary) {
    const qint64 latest = (kSecond + 1) * kS - kWire - kMs;
    EXPECT_EQ(planSync(latest, kWire, kMs).second, kSecond + 1);
    EXPECT_EQ(planSync(latest, kWire, kMs).sendAtNs, latest + kMs);
    EXPECT_EQ(planSync(latest + 1, kWire, kMs).second, kSecond + 2);
}

TEST(SyncTiming, WorksBeforeTheEpochAndWithoutWireTime) {
    EXPECT_EQ(planSync(-kS / 2, kWire, 0).second, 0);  // half a second before 1970
    EXPECT_EQ(planSync(-kS - 1, 0, 0).second, -1);
    // With no wire time and the clock exactly on a boundary, that boundary is sent now.
    EXPECT_EQ(planSync(kSecond * kS, 0, 0).second, kSecond);
    EXPECT_EQ(planSync(kSecond * kS, 0, 0).sendAtNs, kSecond * kS);
}

}  // namespace
}  // namespace qev
