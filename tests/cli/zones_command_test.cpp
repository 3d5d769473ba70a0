// The zones command and send-zones --if-changed, on a pseudo-terminal at chosen instants: each
// change of a followed zone is sent once, and the device then shows the zone's own time.
#include "cli/sent_record.h"
#include "command_runner.h"
#include "decoder.h"
#include "printers.h"
#include "pty_pair.h"
#include "scoped_config.h"
#include "settings/main_form_settings.h"
#include "settings/platform_backend.h"
#include "settings/settings_store.h"
#include "timezones/offset_changes.h"
#include "utc_instant.h"

#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <set>

namespace qev {
namespace {

using namespace std::chrono_literals;

using test::utcAt;

class ZonesCommand : public ::testing::Test {
protected:
    ZonesCommand() { config_.link(4, pty_.slavePath()); }

    int run(const QStringList& args) {
        const test::CommandRun r =
            test::runQev(args, {ClockSync::Synced, {}, [this] {
                                    return QDateTime::fromSecsSinceEpoch(now_, Qt::UTC);
                                }});
        out_ = r.out;
        err_ = r.err;
        return r.status;
    }
    QMap<int, QString> follows() {
        TSettingsStore store(createReadOnlySettingsBackend(config_.settingsFile()));
        return storedZoneFollows(store);
    }
    // The configuration that reached the device since the last call; waits for it when sent.
    QByteArray received(bool sent = true) {
        if (sent)
            collector_.waitFor(82, 2s);
        const QByteArray bytes = collector_.bytes();
        collector_.clear();
        return bytes;
    }

    test::ScopedConfig config_;
    test::PtyPair pty_;
    test::MasterCollector collector_{pty_.master()};
    qint64 now_ = utcAt(2027, 3, 1, 12, 0);
    QString out_, err_;
};

TEST_F(ZonesCommand, ChoicesAreMadeListedAndRefusedByName) {
    EXPECT_EQ(run({"zones", "--follow", "1", "Europe/London"}), 0) << err_.toStdString();
    EXPECT_EQ(out_,
              "Zone 01 follows Europe/London: +00:00 now; +01:00 from 2027-03-28 01:00 UTC\n");
    EXPECT_EQ(run({"zones", "--follow", "02", "America/New_York"}), 0);
    EXPECT_EQ(follows(), (QMap<int, QString>{{1, "Europe/London"}, {2, "America/New_York"}}));
    EXPECT_EQ(run({"zones"}), 0);
    const QStringList listed = out_.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(listed.size(), 16);
    EXPECT_EQ(listed.at(0), "Zone 00  +00:00  0:No DST,12 hr");
    EXPECT_EQ(listed.at(2),
              "Zone 02  -05:00  1:US Standard (as of 2007),12 hr  Follows "
              "America/New_York: -05:00 now; -04:00 from 2027-03-14 07:00 UTC");

    const struct {
        QStringList args;
        int status;
        const char* named;
    } refused[] = {
        {{"zones", "--follow", "16", "Europe/London"}, 2, "\"16\" is no zone"},
        {{"zones", "--unfollow", "x"}, 2, "\"x\" is no zone"},
        {{"zones", "--follow", "3", "Europe/Londn"}, 2, "\"Europe/Londn\" is no time zone"},
        {{"zones", "--follow", "3", "london"}, 2, "(perhaps Europe/London)"},
        {{"zones", "--follow", "3"}, 2, "--follow needs the time zone"},
        {{"sync", "--follow", "3", "UTC"}, 2, "belong to the zones command"},
        {{"zones", "--port", "COM4"}, 2, "The zones command takes no --port"},
        {{"sync", "--if-changed"}, 2, "--if-changed belongs to the send-zones command"},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(run(r.args), r.status) << r.named;
        EXPECT_TRUE(err_.contains(QLatin1StringView(r.named))) << err_.toStdString();
    }
    EXPECT_EQ(follows().size(), 2);  // nothing refused changed anything
    EXPECT_EQ(run({"zones", "--unfollow", "1"}), 0);
    EXPECT_EQ(out_,
              "Zone 01 no longer follows Europe/London; it keeps its offset as its line says\n");
    EXPECT_EQ(follows(), (QMap<int, QString>{{2, "America/New_York"}}));
    // A stored name this computer does not know leaves its zone as its line says, and says so.
    TSettingsStore(createPlatformSettingsBackend(config_.settingsFile()))
        .WriteString("MainForm\\ListBox1_TimeZones\\Item5", "Mars/Olympus_Mons");
    EXPECT_EQ(run({"zones"}), 0);
    EXPECT_TRUE(err_.contains("Zone 05 follows \"Mars/Olympus_Mons\", a time zone this computer's"))
        << err_.toStdString();
    EXPECT_TRUE(out_.contains("Zone 05  +00:00  0:No DST,12 hr  Follows Mars/Olympus_Mons, which"));
}

TEST_F(ZonesCommand, IfChangedSendsEachChangeOnceAndTheDeviceShowsTheZonesTime) {
    const QStringList ids{"Europe/London", "America/New_York", "Australia/Sydney",
                          "Pacific/Chatham", "Africa/Casablanca"};
    for (int k = 1; k <= 5; ++k)
        ASSERT_EQ(run({"zones", "--follow", QString::number(k), ids.at(k - 1)}), 0);
    const QStringList send{"send-zones", "--if-changed", "--port", "COM4"};

    // The timer's runs of 2026 to 2028 around each change (the zone data's own), half an
    // hour before, at and after it: one send at the first run and one per change of a zone that
    // the device cannot make by itself (New York's it can).
    const qint64 from = utcAt(2026, 1, 1, 0, 0), to = utcAt(2029, 1, 1, 0, 0);
    std::set<qint64> runs{from};
    for (const QString& id : ids) {
        for (const OffsetChange& c : offsetChanges(QTimeZone(id.toUtf8()), from, to))
            runs.insert({c.atUtc - 1800, c.atUtc, c.atUtc + 1800});
    }
    int sends = 0;
    QByteArray shown;
    for (const qint64 at : runs) {
        now_ = at;
        ASSERT_EQ(run(send), 0) << err_.toStdString();
        const bool nothing = out_.startsWith("Nothing sent to COM4");
        const QByteArray bytes = received(!nothing);
        if (nothing) {
            EXPECT_TRUE(bytes.isEmpty());
        } else {
            ASSERT_EQ(bytes.size(), 82) << out_.toStdString();
            shown = bytes;
            ++sends;
        }
        const std::vector<clocksim::ShownZone> zones = clocksim::shownZones(shown, now_);
        for (int k = 1; k <= 5; ++k) {
            const QTimeZone zone(ids.at(k - 1).toUtf8());
            EXPECT_EQ(zones.at(size_t(k)).offset,
                      zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(now_, Qt::UTC)))
                << ids.at(k - 1).toStdString() << " at " << utcText(now_).toStdString();
        }
    }
    // The first run, then each change of the four zones the US rule cannot serve, but where two
    // fall on one run: New York's own changes are never sent.
    std::set<qint64> changes;
    for (const QString& id : {ids.at(0), ids.at(2), ids.at(3), ids.at(4)}) {
        for (const OffsetChange& c : offsetChanges(QTimeZone(id.toUtf8()), from, to))
            changes.insert(c.atUtc);
    }
    EXPECT_EQ(sends, 1 + int(changes.size()));

    // A record that cannot be read, or another port, sends again.
    QFile(sentRecordPath(4)).open(QIODevice::WriteOnly | QIODevice::Truncate);
    EXPECT_EQ(run(send), 0);
    EXPECT_EQ(received().size(), 82) << out_.toStdString();
    EXPECT_EQ(run(send), 0);
    EXPECT_TRUE(out_.startsWith("Nothing sent to COM4")) << out_.toStdString();
    EXPECT_TRUE(received(false).isEmpty());
    config_.link(5, pty_.slavePath());
    EXPECT_EQ(run({"send-zones", "--if-changed", "--port", "COM5"}), 0);
    EXPECT_EQ(received().size(), 82);
}

}  // namespace
}  // namespace qev
