#pragma once
// The choice of a time zone for a zone line to follow: every IANA zone this computer knows, each
// with its offset now and its next change, narrowed by typing a part of its name or city.

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QListView;
class QSortFilterProxyModel;

namespace qev {

class TimeZoneListModel;

class TimeZoneDialog : public QDialog {
    Q_OBJECT
public:
    // now: the instant whose offsets the list shows.
    explicit TimeZoneDialog(QWidget* parent, std::function<qint64()> now);

    // Opens for zone k (window-modal, without waiting); chosen(id) follows an OK.
    void ask(int k, const QString& current);
    QString chosenId() const;

    QLineEdit* search() const { return search_; }
    QListView* list() const { return list_; }

signals:
    void chosen(int k, const QString& id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void filter(const QString& text);
    void select(const QString& id);

    TimeZoneListModel* model_;
    QSortFilterProxyModel* proxy_;
    QLabel* prompt_;
    QLineEdit* search_;
    QListView* list_;
    int zone_ = -1;
};

}  // namespace qev
