#include "app/zone_following.h"

#include "base/error_text.h"
#include "base/exception.h"
#include "protocol/zone_line.h"
#include "settings/main_form_settings.h"
#include "settings/settings_store.h"
#include "widgets/list_box.h"

#include <QDateTime>

namespace qev {

namespace {

// What a line sets on the device, without its name and 12/24-hour mode.
QString offsetAndRule(const QString& line) {
    try {
        const ZoneEdit edit = readForEditing(line);
        return QStringLiteral("%1%2 %3")
            .arg(edit.negative)
            .arg(edit.offsetText)
            .arg(edit.ruleIndex);
    } catch (const Exception&) {
        return line;
    }
}

}  // namespace

ZoneFollowing::ZoneFollowing(ListBox* list, TSettingsStore* store, QObject* parent)
    : QObject(parent),
      list_(list),
      store_(store),
      now_([] { return QDateTime::currentSecsSinceEpoch(); }) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        // A store that cannot be read now is told once on the status line, not in a box every
        // few seconds; the poll goes on and recovers when it can read again.
        try {
            refresh();
            pollFailure_.clear();
        } catch (...) {
            const QString text = oneLine(
                errorDisplayText(std::current_exception()).value_or(QStringLiteral("failed")));
            if (text != pollFailure_ && status_)
                status_(QStringLiteral("The zones' time zones could not be read: ") + text);
            pollFailure_ = text;
        }
    });
}

void ZoneFollowing::start(const QString& leading) {
    started_ = true;
    refreshTelling(leading);
}

void ZoneFollowing::refresh() {
    refreshTelling(QString());
}

void ZoneFollowing::refreshTelling(const QString& news) {
    if (!started_)
        return;
    timer_.start(kPollMs);  // a failed read below keeps the poll going
    follows_ = storedZoneFollows(*store_);
    const QString changed = rewriteLines();
    describeLines();
    const QString due = schedule();
    // The status line changes only when there is something new to tell.
    const QString told = QStringList{news, changed, due}.join(u' ').simplified();
    if (status_ && (!news.isEmpty() || !changed.isEmpty() || due != lastDue_) && !told.isEmpty())
        status_(told);
    lastDue_ = due;
}

void ZoneFollowing::follow(int k, const QString& id) {
    const QString before = follows_.value(k);
    storeZoneFollow(*store_, k, id);
    const QString news =
        id.isEmpty()
            ? QStringLiteral("%1 no longer follows %2; it keeps its offset.")
                  .arg(zoneName(k), before)
            : zoneFollowsText(k, id, now()) + QStringLiteral(". Send Configuration sends it.");
    refreshTelling(news);
}

void ZoneFollowing::lineSetByHand(int k, const QString& before, const QString& after) {
    const QString id = follows_.value(k);
    if (id.isEmpty() || offsetAndRule(before) == offsetAndRule(after))
        return;
    storeZoneFollow(*store_, k, QString());
    refreshTelling(QStringLiteral("%1 no longer follows %2: its offset or rule was set by hand. "
                                  "Right-click it and choose \"Follow Time Zone...\" to follow "
                                  "it again.")
                       .arg(zoneName(k), id));
}

QString ZoneFollowing::rewriteLines() {
    const QStringList lines = list_->Items();
    const FollowedLines followed = applyFollows(lines, follows_, now());
    QStringList changed;
    for (int k = 0; k < lines.size(); ++k) {
        if (followed.lines.at(k) == lines.at(k))
            continue;
        list_->setLine(k, followed.lines.at(k));
        // Only a change of offset is news; a line brought into the editor's form is not.
        if (started_ && offsetAndRule(followed.lines.at(k)) != offsetAndRule(lines.at(k)))
            changed << QStringLiteral("%1 is now at %2, as %3 is.")
                           .arg(zoneName(k), followed.lines.at(k).mid(9, 6), follows_.value(k));
    }
    if (followed.lines != lines && linesChanged_)
        linesChanged_();
    // Each problem once: the poll would otherwise tell it every few seconds.
    for (const QString& problem : followed.problems) {
        if (!told_.contains(problem)) {
            told_ << problem;
            changed << problem + u'.';
        }
    }
    return changed.join(u' ');
}

void ZoneFollowing::describeLines() {
    for (int k = 0; k < list_->count(); ++k) {
        QListWidgetItem* item = list_->item(k);
        const QString description =
            follows_.contains(k) ? followDescription(follows_.value(k), now()) : QString();
        if (item->toolTip() != description) {
            item->setToolTip(description);
            item->setData(Qt::AccessibleDescriptionRole, description);
        }
    }
}

QString ZoneFollowing::schedule() {
    const std::optional<DueChange> due = nextDueChange(follows_, now());
    if (!due)
        return {};
    // A little after the change, so that the offset read then is the new one.
    const qint64 wait = (due->change.atUtc - now()) * 1000 + 20;
    if (wait < kPollMs)
        timer_.start(int(qMax<qint64>(wait, 20)));
    return dueChangeText(*due);
}

}  // namespace qev
