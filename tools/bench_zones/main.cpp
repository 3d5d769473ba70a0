// Times the followed zones: the sixteen lines of sixteen followed zones (each its own zone,
// north and south, with and without the device's US rule), from the zone data, at instants
// spread over a year; then whole runs of "qev send-zones --if-changed" with nothing to send,
// in a private configuration folder whose port is a pseudo-terminal (and is never opened).
//
//   bench_zones [--runs N] [--qev PATH]

#include "pty_pair.h"
#include "scoped_config.h"

#include "protocol/zone_line.h"
#include "settings/main_form_settings.h"
#include "settings/platform_backend.h"
#include "settings/settings_store.h"
#include "timezones/zone_follow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char* const kZones[qev::kZoneCount] = {
    "Europe/London",     "America/New_York",    "Australia/Sydney", "Pacific/Chatham",
    "Africa/Casablanca", "Australia/Lord_Howe", "America/Santiago", "Asia/Kathmandu",
    "Europe/Berlin",     "America/Los_Angeles", "Asia/Tokyo",       "America/St_Johns",
    "Europe/Dublin",     "Asia/Tehran",         "America/Havana",   "Pacific/Auckland"};

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s_p50_ms %.3f\n%s_max_ms %.3f\n", what, ms[ms.size() / 2], what, ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 50;
    QString qev = QCoreApplication::applicationDirPath() + QStringLiteral("/qev");
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QStringLiteral("--runs"))
            runs = qMax(1, args.at(i + 1).toInt());
        else if (args.at(i) == QStringLiteral("--qev"))
            qev = args.at(i + 1);
    }

    qev::ZoneFollows follows;
    for (int k = 0; k < qev::kZoneCount; ++k)
        follows.insert(k, QString::fromLatin1(kZones[k]));
    const qint64 start = QDateTime(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    std::vector<double> config;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        const qev::FollowedLines lines =
            qev::applyFollows(qev::defaultZoneLines(), follows, start + r * 7 * 86400LL);
        config.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!lines.problems.isEmpty())
            std::fprintf(stderr, "bench_zones: %s\n", qPrintable(lines.problems.join(u'\n')));
    }
    report("sixteen_followed_zones", config);

    qev::test::ScopedConfig config_;
    qev::test::PtyPair pty;
    config_.link(1, pty.slavePath());
    {
        qev::TSettingsStore store(qev::createPlatformSettingsBackend(config_.settingsFile()));
        for (auto it = follows.cbegin(); it != follows.cend(); ++it)
            qev::storeZoneFollow(store, it.key(), it.value());
    }
    const auto runQev = [&] {
        QProcess p;
        p.start(qev, {QStringLiteral("send-zones"), QStringLiteral("--if-changed"),
                      QStringLiteral("--port"), QStringLiteral("COM1")});
        p.waitForFinished(10000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    };
    runQev();  // the first run sends and records
    std::vector<double> unchanged;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        const QString out = runQev();
        unchanged.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!out.startsWith(QStringLiteral("Nothing sent")))
            std::fprintf(stderr, "bench_zones: qev said: %s", qPrintable(out));
    }
    report("send_zones_if_changed_nothing_to_send", unchanged);
    return 0;
}
