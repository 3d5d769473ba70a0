#include "settings/form_storage.h"

#include <QEvent>

namespace qev {

TFormStorage::TFormStorage(QObject* owner) : QObject(owner) {}

void TFormStorage::resolvePath() {
    static const QString macro = QStringLiteral("%FORM_NAME%");
    const qsizetype at = appStoragePath_.indexOf(macro, 0, Qt::CaseInsensitive);
    if (at >= 0 && parent() != nullptr) {
        appStoragePath_.replace(at, macro.size(), parent()->objectName());
        if (!appStoragePath_.endsWith(u'\\'))
            appStoragePath_.append(u'\\');
    }
}

QString TFormStorage::formPath() {
    resolvePath();
    return appStoragePath_;
}

bool TFormStorage::split(const QString& entry, QString& component, QString& property) const {
    const qsizetype dot = entry.indexOf(u'.');
    if (dot < 0) {
        return false;
    }
    component = entry.left(dot).trimmed();
    property = entry.mid(dot + 1).trimmed();
    return !component.isEmpty() && !property.isEmpty();
}

QStringList TFormStorage::StoredProps() const {
    if (!linked_) {
        return storedProps_;
    }
    QStringList entries;
    for (const Link& link : links_) {
        if (link.component != nullptr) {
            entries.append(link.component->objectName() + u'.' + link.property);
        }
    }
    return entries;
}

void TFormStorage::setStoredProps(const QStringList& entries) {
    storedProps_ = entries;
    if (linked_) {
        loaded();
    }
}

void TFormStorage::loaded() {
    resolvePath();
    links_.clear();
    QStringList kept;
    for (const QString& entry : std::as_const(storedProps_)) {
        QString component;
        QString property;
        QObject* found = nullptr;
        if (split(entry, component, property) && parent() != nullptr) {
            found = parent()->findChild<QObject*>(component);
        }
        if (found != nullptr) {
            links_.append({found, property});
            kept.append(entry);
        }
    }
    storedProps_ = kept;
    linked_ = true;
}

void TFormStorage::installHooks() {
    if (parent() != nullptr) {
        parent()->installEventFilter(this);
    }
}

bool TFormStorage::eventFilter(QObject* watched, QEvent* event) {
    // Only the first showing: Qt also sends Show when a minimised window comes back, and a
    // restore then (after a failed first one) would overwrite what the user has changed since.
    if (watched == parent() && event->type() == QEvent::Show && !showSeen_) {
        showSeen_ = true;
        onShow();
    }
    return QObject::eventFilter(watched, event);
}

bool TFormStorage::target(QObject* owner, const QString& entry, Target& out) {
    QString component;
    QString property;
    if (owner == nullptr || !split(entry, component, property)) {
        return false;
    }
    out.component = owner->findChild<QObject*>(component);
    if (out.component == nullptr) {
        return false;
    }
    const QMetaProperty meta = TSettingsStore::findProperty(out.component, property);
    if (!meta.isValid()) {
        return false;  // skipped silently, as an unknown property of a known control
    }
    out.propertyName = QString::fromLatin1(meta.name());
    out.path = TSettingsStore::ConcatPaths(
        {appStoragePath_, out.component->objectName() + u'_' + out.propertyName});
    return true;
}

void TFormStorage::StoreObjectsProps(QObject* owner, const QStringList& entries) {
    for (const QString& entry : entries) {
        Target t;
        if (target(owner, entry, t)) {
            appStorage_->WriteProperty(t.path, t.component, t.propertyName);
        }
    }
}

void TFormStorage::LoadObjectsProps(QObject* owner, const QStringList& entries) {
    try {
        for (const QString& entry : entries) {
            // One property that cannot be read keeps its value; the next is still loaded.
            try {
                Target t;
                if (target(owner, entry, t) &&
                    (appStorage_->ValueStored(t.path) || appStorage_->IsFolder(t.path))) {
                    appStorage_->ReadProperty(t.path, t.component, t.propertyName);
                }
            } catch (...) {
            }
        }
    } catch (...) {
    }
}

void TFormStorage::RestoreFormPlacement() {
    if (appStorage_ == nullptr) {
        return;
    }
    resolvePath();
    saved_ = false;
    const qint32 stored =
        appStorage_->ReadInteger(TSettingsStore::ConcatPaths({appStoragePath_, kVersionName}), 0);
    if (restoresVersion(stored)) {
        LoadObjectsProps(parent(), StoredProps());
    }
    // Also when skipped: the next save then writes the current values over the stale ones.
    restored_ = true;
}

void TFormStorage::SaveFormPlacement() {
    if (appStorage_ == nullptr) {
        return;
    }
    resolvePath();
    // One save, one replacement of the file: a crash leaves the previous save whole.
    appStorage_->batch([this] {
        appStorage_->WriteInteger(TSettingsStore::ConcatPaths({appStoragePath_, kVersionName}),
                                  kVersion);
        // Without a completed restore the stored values may be newer than the controls'
        // defaults, so only the version is written.
        if (restored_) {
            StoreObjectsProps(parent(), StoredProps());
        }
    });
    saved_ = true;
}

void TFormStorage::report(std::exception_ptr error) {
    if (!reporter_) {
        std::rethrow_exception(error);
    }
    reporter_(error);
}

void TFormStorage::reportNotices() {
    if (appStorage_ == nullptr) {
        return;
    }
    for (const std::exception_ptr& notice : appStorage_->takeNotices()) {
        report(notice);
    }
}

void TFormStorage::runHook(void (TFormStorage::*sequence)()) {
    try {
        (this->*sequence)();
    } catch (...) {
        reportNotices();
        report(std::current_exception());
        return;
    }
    reportNotices();
}

void TFormStorage::onShow() {
    if (active_ && !restored_ && appStorage_ != nullptr) {
        runHook(&TFormStorage::RestoreFormPlacement);
    }
}

void TFormStorage::onCloseQuery(bool& canClose) {
    if (active_ && canClose && appStorage_ != nullptr) {
        runHook(&TFormStorage::SaveFormPlacement);
    }
}

void TFormStorage::onDestroy() {
    if (active_ && !saved_ && appStorage_ != nullptr) {
        runHook(&TFormStorage::SaveFormPlacement);
    }
}

}  // namespace qev
