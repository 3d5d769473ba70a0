#include "cli/zones_command.h"

#include "base/error_text.h"
#include "cli/cli_commands.h"
#include "settings/main_form_settings.h"
#include "settings/platform_backend.h"
#include "settings/settings_store.h"
#include "timezones/zone_follow.h"

#include <QTextStream>

namespace qev {

namespace {

qint64 nowSeconds(const CommandContext& context) {
    return context.now().toSecsSinceEpoch();
}

// Up to three known ids that contain the word, for a name that is not one.
QStringList likelyZones(const QString& word) {
    QStringList found;
    const QString wanted = QString(word).replace(u' ', u'_');
    for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
        const QString name = QString::fromUtf8(id);
        if (name.contains(wanted, Qt::CaseInsensitive) && found.size() < 3)
            found << name;
    }
    return found;
}

int list(CommandContext& context) {
    TSettingsStore store(createReadOnlySettingsBackend(context.settingsFile));
    const qint64 now = nowSeconds(context);
    const QMap<int, QString> follows = storedZoneFollows(store);
    const QStringList lines = zoneLinesAt(store, now, context.err);
    for (int k = 0; k < lines.size(); ++k) {
        context.out << lines.at(k);
        if (follows.contains(k))
            context.out << QStringLiteral("  ") << followDescription(follows.value(k), now);
        context.out << u'\n';
    }
    return 0;
}

int change(const Command& command, CommandContext& context) {
    if (!command.zoneId.isEmpty() && !findTimeZone(command.zoneId)) {
        const QStringList likely = likelyZones(command.zoneId);
        context.err << QStringLiteral(
                           "qev: \"%1\" is no time zone this computer knows: give an IANA name "
                           "such as Europe/London%2.\nTry \"qev --help\" for more information.\n")
                           .arg(command.zoneId, likely.isEmpty()
                                                    ? QString()
                                                    : QStringLiteral(" (perhaps %1)")
                                                          .arg(likely.join(QStringLiteral(", "))));
        return 2;
    }
    // Each choice is a value of its own, written under the settings' lock: a window that is
    // open keeps its other values, and takes this one up within seconds.
    TSettingsStore store(createPlatformSettingsBackend(context.settingsFile));
    const QString before = storedZoneFollows(store).value(command.zone);
    storeZoneFollow(store, command.zone, command.zoneId);
    const QString zone = zoneName(command.zone);
    if (command.zoneId.isEmpty()) {
        context.out
            << (before.isEmpty()
                    ? QStringLiteral("%1 followed no time zone; it keeps its offset\n").arg(zone)
                    : QStringLiteral("%1 no longer follows %2; it keeps its offset "
                                     "as its line says\n")
                          .arg(zone, before));
    } else {
        context.out << zoneFollowsText(command.zone, command.zoneId, nowSeconds(context)) << u'\n';
    }
    for (const std::exception_ptr& notice : store.takeNotices())
        context.err << QStringLiteral("qev: warning: %1\n").arg(oneLine(commandErrorText(notice)));
    return 0;
}

}  // namespace

QStringList zoneLinesAt(TSettingsStore& store, qint64 atUtc, QTextStream& err) {
    const FollowedLines followed =
        applyFollows(storedZoneLines(store), storedZoneFollows(store), atUtc);
    for (const QString& problem : followed.problems)
        err << QStringLiteral("qev: warning: %1.\n").arg(problem);
    return followed.lines;
}

int runZonesCommand(const Command& command, CommandContext& context) {
    try {
        return command.followAction == ZoneFollowAction::None ? list(context)
                                                              : change(command, context);
    } catch (...) {
        context.err
            << QStringLiteral("qev: %1\n").arg(oneLine(commandErrorText(std::current_exception())));
        return 1;
    }
}

}  // namespace qev
