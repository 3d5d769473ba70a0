#include "app/zone_menu.h"

#include "protocol/messages.h"
#include "protocol/zone_line.h"
#include "widgets/list_box.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace qev {

ZoneMenu::ZoneMenu(ListBox* list) : QObject(list), list_(list), menu_(new QMenu(list)) {
    menu_->setObjectName(QStringLiteral("ZoneMenu"));
    resetZone_ = menu_->addAction(QStringLiteral("Reset Zone"));
    resetZone_->setObjectName(QStringLiteral("ResetZone"));
    restoreMissing_ = menu_->addAction(QStringLiteral("Restore Missing Zones"));
    restoreMissing_->setObjectName(QStringLiteral("RestoreMissingZones"));
    menu_->addSeparator();
    followZone_ = menu_->addAction(QStringLiteral("Follow Time Zone..."));
    followZone_->setObjectName(QStringLiteral("FollowTimeZone"));
    fixedOffset_ = menu_->addAction(QStringLiteral("Fixed Offset"));
    fixedOffset_->setObjectName(QStringLiteral("FixedOffset"));
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
}

bool ZoneMenu::eventFilter(QObject* watched, QEvent* event) {
    // Qt makes a context menu event of the Menu key on some platforms only, and of Shift+F10 on
    // Windows only: both keys are taken here, and a second request while the menu is open (the
    // platform's own, for the same key) finds it open.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
        if (key->key() != Qt::Key_Menu && !shiftF10)
            return false;
        const int row = list_->currentRow();
        const QRect at = list_->visualItemRect(list_->item(row));
        open(row, list_->viewport()->mapToGlobal(row >= 0 ? at.bottomLeft() : QPoint()));
        return true;
    }
    // The right button's press opens it too: some platforms ask only at the release, and a press
    // sent straight to the list brings no request at all.
    const bool press = event->type() == QEvent::MouseButtonPress &&
                       static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    if (event->type() != QEvent::ContextMenu && !press)
        return false;
    QPoint pos, globalPos;
    bool byMouse = press;
    if (press) {
        const auto* click = static_cast<QMouseEvent*>(event);
        pos = click->position().toPoint();
        globalPos = click->globalPosition().toPoint();
    } else {
        const auto* request = static_cast<QContextMenuEvent*>(event);
        byMouse = request->reason() == QContextMenuEvent::Mouse;
        pos = request->pos();
        globalPos = request->globalPos();
    }
    int row = list_->currentRow();
    if (byMouse && watched == list_->viewport()) {
        const QModelIndex index = list_->indexAt(pos);
        row = index.isValid() ? index.row() : -1;
        if (row >= 0)
            list_->setItemIndex(row);
    }
    open(row, globalPos);
    return true;
}

void ZoneMenu::open(int row, const QPoint& globalPos) {
    if (menu_->isVisible())
        return;
    row_ = row;
    resetZone_->setEnabled(row >= 0 && row < kZoneCount);
    restoreMissing_->setEnabled(list_->count() < kZoneCount);
    emit aboutToShow(row);
    menu_->popup(globalPos);
}

QString defaultZoneLine(int k) {
    return defaultZoneLines().value(k);
}

QStringList withMissingZones(const QStringList& lines) {
    QStringList all = lines;
    const QStringList defaults = defaultZoneLines();
    for (qsizetype k = all.size(); k < defaults.size(); ++k)
        all << defaults.at(k);
    return all;
}

QString zoneListAdvice(const QStringList& lines) {
    for (int k = 0; k < kZoneCount && k < lines.size(); ++k) {
        try {
            zoneRecord(k, lines.at(k));
        } catch (const Exception&) {
            return QStringLiteral(
                       "%1 (\"%2\") cannot be sent. Edit it, or right-click it and "
                       "choose \"Reset Zone\"")
                .arg(zoneName(k), lines.at(k));
        }
    }
    if (lines.size() < kZoneCount)
        return QStringLiteral(
                   "The list holds %1 of the device's %2 zones. Right-click it and "
                   "choose \"Restore Missing Zones\"")
            .arg(lines.size())
            .arg(kZoneCount);
    return {};
}

QString zoneLineAdvice(int row, const QString& line) {
    return QStringLiteral(
               "%1 (\"%2\") cannot be opened in the editor. Right-click it and choose "
               "\"Reset Zone\"")
        .arg(zoneName(row), line);
}

}  // namespace qev
