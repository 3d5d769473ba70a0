#pragma once
// The zone list's context menu, opened with a right click, the Menu key or Shift+F10 on a line:
// the ways out of a list that cannot be sent or edited, and the choice of a time zone for the
// line to follow. And the words that point to them.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QAction;
class QMenu;

namespace qev {

class ListBox;

class ZoneMenu : public QObject {
    Q_OBJECT
public:
    explicit ZoneMenu(ListBox* list);

    QMenu* menu() const { return menu_; }
    QAction* resetZone() const { return resetZone_; }
    QAction* restoreMissing() const { return restoreMissing_; }
    QAction* followZone() const { return followZone_; }
    QAction* fixedOffset() const { return fixedOffset_; }
    // The line the open menu acts on.
    int row() const { return row_; }

signals:
    // Before the menu shows, for the window to enable and add what fits the line.
    void aboutToShow(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void open(int row, const QPoint& globalPos);

    ListBox* list_;
    QMenu* menu_;
    QAction* resetZone_;
    QAction* restoreMissing_;
    QAction* followZone_;
    QAction* fixedOffset_;
    int row_ = -1;
};

// Zone line k as the list starts with it ("Zone 05  +00:00  0:No DST,12 hr").
QString defaultZoneLine(int k);
// The lines with the default lines appended for the zones they lack.
QStringList withMissingZones(const QStringList& lines);

// What to do about a zone list that cannot be sent, for the error's detail: the first line that
// cannot be read, or the lines that are missing, and the menu item that mends it.
QString zoneListAdvice(const QStringList& lines);
// The same for a line that the zone editor cannot open.
QString zoneLineAdvice(int row, const QString& line);

}  // namespace qev
