#include "widgets/list_box.h"

#include "base/error_sink.h"

#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace qev {
namespace {

class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(const ListBox* list)
        : QStyledItemDelegate(const_cast<ListBox*>(list)), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), list_->itemHeight()};
    }

private:
    const ListBox* list_;
};

}  // namespace

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new FixedHeightDelegate(this));
}

QStringList ListBox::Items() const {
    QStringList lines;
    lines.reserve(count());
    for (int i = 0; i < count(); ++i)
        lines << item(i)->text();
    return lines;
}

void ListBox::setItems(const QStringList& lines) {
    setUpdatesEnabled(false);
    clear();
    addItems(lines);
    setUpdatesEnabled(true);
}

int ListBox::ItemIndex() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ListBox::setItemIndex(int row) {
    if (row >= 0 && row < count()) {
        setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    } else {
        clearSelection();
    }
}

void ListBox::setLine(int row, const QString& line) {
    if (QListWidgetItem* it = item(row))
        it->setText(line);
}

void ListBox::setItemHeight(int pixels) {
    itemHeight_ = pixels;
    doItemsLayout();
}

void ListBox::mousePressEvent(QMouseEvent* event) {
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    runGuarded([&] {
        QListWidget::mouseDoubleClickEvent(event);
        emit dblClick();
    });
}

}  // namespace qev
