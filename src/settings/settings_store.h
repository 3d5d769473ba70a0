#pragma once
// TSettingsStore: maps backslash-separated store paths such as "MainForm\RadioGroup1_ItemIndex"
// onto keys and values below Root, and encodes integers, strings and string lists there. All
// medium access goes through a SettingsBackend.

#include "settings/settings_backend.h"

#include <QHash>
#include <QList>
#include <QMetaProperty>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>

namespace qev {

class TSettingsStore : public QObject {
    Q_OBJECT

public:
    // A stored Count above this cannot be a real list; it is treated as unreadable.
    static constexpr qint32 kMaxListCount = 10000;

    // Uses the platform's store: the registry on Windows, else the settings file at
    // RegFileBackend::defaultFilePath().
    explicit TSettingsStore(QObject* parent = nullptr);
    explicit TSettingsStore(std::unique_ptr<SettingsBackend> backend, QObject* parent = nullptr);
    ~TSettingsStore() override;

    // Every key path starts here; used literally.
    static constexpr QLatin1StringView kRoot{"Software\\QEV"};
    SettingsBackend& backend() { return *backend_; }

    // Joins with single backslashes, dropping empty segments; a piece after the first that
    // begins with a backslash discards the pieces before it.
    static QString ConcatPaths(const QStringList& pieces);

    struct KeyAndName {
        QString key;
        QString name;
    };
    // The key (Root and all segments but the last) and the value name (the last segment).
    KeyAndName splitPath(const QString& path) const;

    bool ValueStored(const QString& path);
    bool IsFolder(const QString& path);
    // The key named by the whole path holds a value "Count".
    bool ListStored(const QString& path);

    qint32 ReadInteger(const QString& path, qint32 defaultValue);
    void WriteInteger(const QString& path, qint32 value);
    QString ReadString(const QString& path, const QString& defaultValue);
    void WriteString(const QString& path, const QString& value);
    void DeleteValue(const QString& path);

    // Items "Item0"... and "Count" in the key named by the path; Count goes last, so an
    // interrupted write leaves the earlier count in place.
    void WriteStringList(const QString& path, const QStringList& list);
    // False, with the list untouched and the user told once, when the stored Count is beyond
    // kMaxListCount; otherwise the list is read (cleared first if asked). A list refused so is
    // not written over later unless the backend keeps a copy of it first.
    bool ReadStringList(const QString& path, QStringList& list, bool clearFirst);

    // One property of the object, found by name without regard to letter case: int properties
    // as integers, QStringList properties as lists. Other kinds and unknown names are skipped.
    void ReadProperty(const QString& path, QObject* object, const QString& propertyName);
    void WriteProperty(const QString& path, QObject* object, const QString& propertyName);
    static QMetaProperty findProperty(const QObject* object, const QString& propertyName);

    // Runs the work with its writes gathered and carried out together at the end (one file
    // replacement instead of one per value). Writes made before an error are still carried
    // out, then the error goes on to the caller.
    void batch(const std::function<void()>& work);

    // EStoreNotice exceptions of the store and its backend since the last call.
    QList<std::exception_ptr> takeNotices();

private:
    QString listKey(const QString& path) const;
    void writeStringList(const QString& path, const QStringList& list);

    std::unique_ptr<SettingsBackend> backend_;
    QSet<QString> told_;
    QList<std::exception_ptr> notices_;
    QHash<QString, QString> unread_;  // list keys refused by a read, with what was wrong
};

}  // namespace qev
