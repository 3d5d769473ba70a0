#include "settings/settings_store.h"

#include "settings/platform_backend.h"
#include "settings/settings_errors.h"

#include <QMetaObject>
#include <QRegularExpression>

namespace qev {

TSettingsStore::TSettingsStore(QObject* parent)
    : TSettingsStore(createPlatformSettingsBackend(), parent) {}

TSettingsStore::TSettingsStore(std::unique_ptr<SettingsBackend> backend, QObject* parent)
    : QObject(parent), backend_(std::move(backend)) {}

TSettingsStore::~TSettingsStore() = default;

QString TSettingsStore::ConcatPaths(const QStringList& pieces) {
    QStringList segments;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString& piece = pieces.at(i);
        if (i > 0 && piece.startsWith(u'\\')) {
            segments.clear();
        }
        for (const QString& segment : piece.split(u'\\', Qt::SkipEmptyParts)) {
            segments.append(segment);
        }
    }
    return segments.join(u'\\');
}

TSettingsStore::KeyAndName TSettingsStore::splitPath(const QString& path) const {
    const qsizetype cut = path.lastIndexOf(u'\\');
    const QString folder = cut < 0 ? QString() : path.left(cut);
    return {ConcatPaths({kRoot, folder}), cut < 0 ? path : path.mid(cut + 1)};
}

QString TSettingsStore::listKey(const QString& path) const {
    return ConcatPaths({kRoot, path});
}

bool TSettingsStore::ValueStored(const QString& path) {
    const KeyAndName kn = splitPath(path);
    return backend_->valueExists(kn.key, kn.name);
}

bool TSettingsStore::IsFolder(const QString& path) {
    return backend_->keyExists(listKey(path));
}

bool TSettingsStore::ListStored(const QString& path) {
    return backend_->valueExists(listKey(path), QStringLiteral("Count"));
}

qint32 TSettingsStore::ReadInteger(const QString& path, qint32 defaultValue) {
    const KeyAndName kn = splitPath(path);
    return backend_->readInteger(kn.key, kn.name, defaultValue);
}

void TSettingsStore::WriteInteger(const QString& path, qint32 value) {
    const KeyAndName kn = splitPath(path);
    backend_->writeInteger(kn.key, kn.name, value);
}

QString TSettingsStore::ReadString(const QString& path, const QString& defaultValue) {
    const KeyAndName kn = splitPath(path);
    return backend_->readString(kn.key, kn.name, defaultValue);
}

void TSettingsStore::WriteString(const QString& path, const QString& value) {
    const KeyAndName kn = splitPath(path);
    backend_->writeString(kn.key, kn.name, value);
}

void TSettingsStore::DeleteValue(const QString& path) {
    if (ValueStored(path)) {
        const KeyAndName kn = splitPath(path);
        backend_->deleteValue(kn.key, kn.name);
    }
}

void TSettingsStore::batch(const std::function<void()>& work) {
    backend_->beginBatch();
    try {
        work();
    } catch (...) {
        try {
            backend_->endBatch();
        } catch (...) {
            // the first error is the one to tell
        }
        throw;
    }
    backend_->endBatch();
}

void TSettingsStore::WriteStringList(const QString& path, const QStringList& list) {
    // A stored list that was not read is never replaced without a copy of it kept first.
    const auto unread = unread_.constFind(listKey(path));
    if (unread != unread_.cend()) {
        if (!backend_->keepBeforeReplacing(unread.key(), *unread)) {
            const QString text =
                QStringLiteral(
                    "The list was not saved: %1, which QEV does not read, and it is "
                    "left as it is. Delete that key to save the list again")
                    .arg(*unread);
            if (!told_.contains(text)) {
                told_.insert(text);
                notices_.append(std::make_exception_ptr(EStoreNotice(text)));
            }
            return;
        }
        unread_.erase(unread);
    }
    batch([&] { writeStringList(path, list); });
}

void TSettingsStore::writeStringList(const QString& path, const QStringList& list) {
    const auto item = [&](qsizetype i) {
        return ConcatPaths({path, QStringLiteral("Item%1").arg(i)});
    };
    const QString countPath = ConcatPaths({path, QStringLiteral("Count")});
    const qint32 previous = ReadInteger(countPath, 0);
    for (qsizetype i = 0; i < list.size(); ++i) {
        WriteString(item(i), list.at(i));
    }
    // A previous count beyond any real list came from a damaged file; deleting that many
    // names one by one would freeze the program, and such names were never written by us.
    const qint64 stale = qMin<qint64>(previous, kMaxListCount);
    for (qint64 i = list.size(); i < stale; ++i) {
        DeleteValue(item(i));
    }
    WriteInteger(countPath, static_cast<qint32>(list.size()));
}

bool TSettingsStore::ReadStringList(const QString& path, QStringList& list, bool clearFirst) {
    QStringList lines;
    if (ListStored(path)) {
        const qint32 count = ReadInteger(ConcatPaths({path, QStringLiteral("Count")}), 0);
        if (count > kMaxListCount) {
            const QString text =
                QStringLiteral(
                    "The stored list \"%1\" claims %2 lines, more than the %3 a list can "
                    "hold. It was not read, and the current list is kept")
                    .arg(backend_->displayKey(listKey(path)))
                    .arg(count)
                    .arg(kMaxListCount);
            if (!told_.contains(text)) {
                told_.insert(text);
                notices_.append(std::make_exception_ptr(EStoreNotice(text)));
            }
            unread_.insert(listKey(path), QStringLiteral("the list \"%1\" claims %2 lines")
                                              .arg(backend_->displayKey(listKey(path)))
                                              .arg(count));
            return false;
        }
        for (qint32 i = 0; i < count; ++i) {
            lines.append(ReadString(ConcatPaths({path, QStringLiteral("Item%1").arg(i)}), {}));
        }
    } else if (ValueStored(path)) {
        // An older single-value form of the list: its text, one line per line break.
        const QString text = ReadString(path, {});
        static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
        lines = text.split(lineBreak);
        if (!lines.isEmpty() && lines.last().isEmpty()) {
            lines.removeLast();  // a final line break ends the last line, it starts none
        }
    }
    if (clearFirst) {
        list = lines;
    } else {
        list.append(lines);
    }
    return true;
}

QMetaProperty TSettingsStore::findProperty(const QObject* object, const QString& propertyName) {
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (QString::compare(QLatin1StringView(property.name()), propertyName,
                             Qt::CaseInsensitive) == 0) {
            return property;
        }
    }
    return {};
}

void TSettingsStore::ReadProperty(const QString& path, QObject* object,
                                  const QString& propertyName) {
    const QMetaProperty property = findProperty(object, propertyName);
    if (!property.isValid() || !property.isWritable()) {
        return;
    }
    switch (property.metaType().id()) {
        case QMetaType::Int: {
            const int current = property.read(object).toInt();
            if (ValueStored(path)) {
                property.write(object, ReadInteger(path, current));
            }
            break;
        }
        case QMetaType::QStringList: {
            // Read into a copy and assign once, so the control repaints once.
            QStringList lines = property.read(object).toStringList();
            if (ReadStringList(path, lines, true)) {
                property.write(object, lines);
            }
            break;
        }
        default:
            break;
    }
}

void TSettingsStore::WriteProperty(const QString& path, QObject* object,
                                   const QString& propertyName) {
    const QMetaProperty property = findProperty(object, propertyName);
    if (!property.isValid()) {
        return;
    }
    switch (property.metaType().id()) {
        case QMetaType::Int:
            WriteInteger(path, property.read(object).toInt());
            break;
        case QMetaType::QStringList:
            WriteStringList(path, property.read(object).toStringList());
            break;
        default:
            break;
    }
}

QList<std::exception_ptr> TSettingsStore::takeNotices() {
    QList<std::exception_ptr> all = backend_->takeNotices();
    all.append(std::exchange(notices_, {}));
    return all;
}

}  // namespace qev
