#pragma once
// A captioned group of exclusive radio buttons arranged in columns, the selection being one
// index (-1 for none). The index is a property, so the form storage can keep it.

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

namespace qev {

class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex NOTIFY itemIndexChanged)
public:
    RadioGroup(const QString& caption, const QStringList& items, int columns,
               QWidget* parent = nullptr);

    int ItemIndex() const;
    // Below -1 means none (-1), beyond the last item the last one.
    void setItemIndex(int index);

    int count() const { return int(buttons_.size()); }
    QRadioButton* button(int index) const { return buttons_.value(index); }

protected:
    void resizeEvent(QResizeEvent* event) override;

signals:
    void itemIndexChanged(int index);

private:
    QButtonGroup* group_;
    QList<QRadioButton*> buttons_;
    int columns_ = 1;
};

}  // namespace qev
