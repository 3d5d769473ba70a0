#pragma once
// Keeps the window's followed zone lines at the offset in force: when the window starts, when a
// zone's change falls due, before each send, and whenever a command has changed the choices
// (they are read again every few seconds). The choices live in the settings, one value per zone,
// written as soon as the user makes them. Each followed line says in its tooltip and accessible
// description what it follows; the status line tells the next change due.

#include "timezones/zone_follow.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace qev {

class ListBox;
class TSettingsStore;

class ZoneFollowing : public QObject {
    Q_OBJECT
public:
    ZoneFollowing(ListBox* list, TSettingsStore* store, QObject* parent);

    // How often the choices are read again for a command's changes.
    static constexpr int kPollMs = 5000;

    // status: the window's status line; linesChanged: lines were rewritten (to be saved).
    void setStatus(std::function<void(const QString&)> status) { status_ = std::move(status); }
    void setLinesChanged(std::function<void()> changed) { linesChanged_ = std::move(changed); }
    // The clock the offsets are taken from (tests set theirs).
    void setNow(std::function<qint64()> now) { now_ = std::move(now); }
    qint64 now() const { return now_(); }

    const ZoneFollows& follows() const { return follows_; }
    QString followed(int k) const { return follows_.value(k); }

    // Starts keeping the lines (after the window has restored them); what it tells follows
    // leading, the status line's text so far. Raises the store's errors.
    void start(const QString& leading);
    // Reads the choices again and brings every followed line to its offset now.
    void refresh();
    // Zone k follows id from now on, or (empty id) keeps its offset. Raises the store's errors.
    void follow(int k, const QString& id);
    // The user set line k by hand (editor, reset): an offset or rule that differs from what the
    // following wrote ends the following, and the status line says so.
    void lineSetByHand(int k, const QString& before, const QString& after);

private:
    void refreshTelling(const QString& news);
    // The lines' news: zones now at another offset, zones that cannot follow theirs.
    QString rewriteLines();
    void describeLines();
    // Sets the timer for the next change due, and tells it.
    QString schedule();

    ListBox* list_;
    TSettingsStore* store_;
    ZoneFollows follows_;
    QTimer timer_;
    bool started_ = false;
    QString lastDue_;
    QStringList told_;
    QString pollFailure_;
    std::function<void(const QString&)> status_;
    std::function<void()> linesChanged_;
    std::function<qint64()> now_;
};

}  // namespace qev
