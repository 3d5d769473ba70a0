#include "widgets/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace qev {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns,
                       QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        group_->addButton(b, i);
        buttons_.append(b);
    }
    connect(group_, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on)
            emit itemIndexChanged(ItemIndex());
    });
    columns_ = std::max(1, columns);
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    // Items run down each column, then on to the next one, spread over the group's size.
    const int perColumn = std::max(1, int((buttons_.size() + columns_ - 1) / columns_));
    const int columnWidth = (width() - 10) / columns_;
    const int top = 18, rowHeight = std::max(17, (height() - top - 5) / perColumn);
    for (int i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setGeometry(8 + (i / perColumn) * columnWidth,
                                 top + (i % perColumn) * rowHeight, columnWidth - 4, 17);
}

int RadioGroup::ItemIndex() const {
    return group_->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    index = std::clamp(index, -1, count() - 1);
    if (index == ItemIndex())
        return;
    if (index < 0) {
        // An exclusive group refuses to uncheck its last button.
        group_->setExclusive(false);
        if (QAbstractButton* checked = group_->checkedButton())
            checked->setChecked(false);
        group_->setExclusive(true);
        emit itemIndexChanged(-1);
    } else {
        buttons_[index]->setChecked(true);
    }
}

}  // namespace qev
