#pragma once
// A single-selection list of text lines with a fixed item height. Its lines are a property,
// so the form storage can keep them.

#include <QListWidget>
#include <QStringList>

namespace qev {

class ListBox : public QListWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex)
public:
    explicit ListBox(QWidget* parent = nullptr);

    QStringList Items() const;
    // Replaces every line at once (one repaint); the selection is cleared.
    void setItems(const QStringList& lines);

    // The selected line, -1 for none. The current row is not enough: a list entered with the
    // keyboard has a current row (its focus frame) before anything is selected.
    int ItemIndex() const;
    // Selects the line and makes it current; -1 or a row outside the list selects nothing.
    void setItemIndex(int row);
    // Replaces one line in place; the selection stays where it is.
    void setLine(int row, const QString& line);

    void setItemHeight(int pixels);
    int itemHeight() const { return itemHeight_; }

signals:
    // A double click anywhere in the list, after the click has moved the selection.
    void dblClick();

protected:
    // A press on no line leaves the selection as it was (the view would clear it), so that
    // Edit and a double click still have their line.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int itemHeight_ = 14;
};

}  // namespace qev
