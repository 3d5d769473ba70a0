#include "app/time_zone_dialog.h"

#include "protocol/zone_line.h"
#include "timezones/zone_follow.h"

#include <QAbstractListModel>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTimeZone>
#include <QVBoxLayout>

#include <vector>

namespace qev {

// The zones by id; each one's offsets are read from the zone data when first shown, as reading
// them for six hundred zones at once would hold up the dialog's opening.
class TimeZoneListModel : public QAbstractListModel {
public:
    static constexpr int kIdRole = Qt::UserRole;
    static constexpr int kSearchRole = Qt::UserRole + 1;

    TimeZoneListModel(std::function<qint64()> now, QObject* parent)
        : QAbstractListModel(parent), now_(std::move(now)) {
        for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
            // Only the names of places: "Europe/London", not "UTC" or "Etc/GMT+5".
            if (id.contains('/') && !id.startsWith("Etc/"))
                rows_.push_back({QString::fromUtf8(id), {}});
        }
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= int(rows_.size()))
            return {};
        Row& row = rows_[size_t(index.row())];
        switch (role) {
            case kIdRole:
                return row.id;
            case kSearchRole:
                // A city as people write it: "new york" finds America/New_York.
                return QString(row.id).replace(u'_', u' ');
            case Qt::DisplayRole:
            case Qt::AccessibleTextRole:
                if (row.text.isEmpty()) {
                    const auto zone = findTimeZone(row.id);
                    row.text = row.id + QStringLiteral("  ") +
                               (zone ? zoneNowText(*zone, now_()) : QStringLiteral("unknown"));
                }
                return row.text;
            default:
                return {};
        }
    }

private:
    struct Row {
        QString id;
        QString text;
    };
    std::function<qint64()> now_;
    mutable std::vector<Row> rows_;
};

TimeZoneDialog::TimeZoneDialog(QWidget* parent, std::function<qint64()> now)
    : QDialog(parent),
      model_(new TimeZoneListModel(std::move(now), this)),
      proxy_(new QSortFilterProxyModel(this)),
      prompt_(new QLabel(this)),
      search_(new QLineEdit(this)),
      list_(new QListView(this)) {
    setObjectName(QStringLiteral("TimeZoneDialog"));
    setWindowTitle(QStringLiteral("Follow Time Zone"));
    setWindowModality(Qt::WindowModal);
    resize(460, 420);
    proxy_->setSourceModel(model_);
    proxy_->setFilterRole(TimeZoneListModel::kSearchRole);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    list_->setModel(proxy_);
    list_->setUniformItemSizes(true);  // no row is measured before it is shown
    list_->setObjectName(QStringLiteral("TimeZoneList"));
    list_->setAccessibleName(QStringLiteral("Time zones"));
    search_->setObjectName(QStringLiteral("TimeZoneSearch"));
    search_->setPlaceholderText(QStringLiteral("A part of the name or the city"));
    search_->setAccessibleName(QStringLiteral("Search time zones"));
    search_->setClearButtonEnabled(true);
    search_->installEventFilter(this);
    prompt_->setBuddy(search_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(search_);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    connect(search_, &QLineEdit::textChanged, this, &TimeZoneDialog::filter);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListView::activated, this, &QDialog::accept);
    connect(this, &QDialog::accepted, this, [this] {
        if (!chosenId().isEmpty())
            emit chosen(zone_, chosenId());
    });
    // OK needs a zone to follow.
    const auto enableOk = [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(list_->currentIndex().isValid());
    };
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, enableOk);
    connect(proxy_, &QAbstractItemModel::modelReset, this, enableOk);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, enableOk);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, enableOk);
}

void TimeZoneDialog::ask(int k, const QString& current) {
    zone_ = k;
    prompt_->setText(QStringLiteral("&Time zone for %1 to follow:").arg(zoneName(k)));
    search_->clear();
    select(current.isEmpty() ? QString::fromUtf8(QTimeZone::systemTimeZoneId()) : current);
    open();
    search_->setFocus();  // typing narrows the list at once
}

QString TimeZoneDialog::chosenId() const {
    return list_->currentIndex().data(TimeZoneListModel::kIdRole).toString();
}

void TimeZoneDialog::filter(const QString& text) {
    const QString before = chosenId();
    proxy_->setFilterFixedString(text.trimmed());
    select(before);
    if (!list_->currentIndex().isValid() && proxy_->rowCount() > 0)
        list_->setCurrentIndex(proxy_->index(0, 0));
}

void TimeZoneDialog::select(const QString& id) {
    for (int row = 0; row < proxy_->rowCount(); ++row) {
        const QModelIndex index = proxy_->index(row, 0);
        if (index.data(TimeZoneListModel::kIdRole).toString() == id) {
            list_->setCurrentIndex(index);
            list_->scrollTo(index, QAbstractItemView::PositionAtCenter);
            return;
        }
    }
    list_->setCurrentIndex({});
}

bool TimeZoneDialog::eventFilter(QObject* watched, QEvent* event) {
    // Up, Down and the page keys in the search field move through the list, so the hands stay
    // on the keys while typing narrows it.
    if (watched == search_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
            key == Qt::Key_PageDown) {
            QKeyEvent copy(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(list_, &copy);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace qev
