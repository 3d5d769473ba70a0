#pragma once
// The primitives beneath the settings store: the only code that touches the storage medium.
// A backend for the Windows registry implements exactly these; everything above them is shared.

#include <QList>
#include <QString>

#include <exception>

namespace qev {

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;

    // Keys are paths below the per-user hive, e.g. "Software\QEV\MainForm"; names are value
    // names within a key. Reads never fail on a wrong kind or content (the default is used);
    // failures to reach the medium raise EStoreError.
    virtual bool keyExists(const QString& key) = 0;
    virtual bool valueExists(const QString& key, const QString& name) = 0;
    virtual qint32 readInteger(const QString& key, const QString& name, qint32 defaultValue) = 0;
    virtual QString readString(const QString& key, const QString& name,
                               const QString& defaultValue) = 0;
    // Writes create the key first when it is missing.
    virtual void writeInteger(const QString& key, const QString& name, qint32 value) = 0;
    virtual void writeString(const QString& key, const QString& name, const QString& value) = 0;
    // Deletes the value; a missing one is no error.
    virtual void deleteValue(const QString& key, const QString& name) = 0;

    // Writes between these may be gathered and carried out together when the outermost batch
    // ends, in their order; reads inside the batch see them. endBatch raises what the gathered
    // writes raise. A backend whose writes are cheap (the registry) needs neither.
    virtual void beginBatch() {}
    virtual void endBatch() {}

    // How a key is named in messages to the user.
    virtual QString displayKey(const QString& key) const = 0;

    // Something stored under key was not read (why says what, for the user). Before a write
    // replaces it, the medium keeps a copy where the user can find it and tells where; false
    // when it cannot, and the caller then leaves key as it is.
    virtual bool keepBeforeReplacing(const QString& key, const QString& why) {
        Q_UNUSED(key);
        Q_UNUSED(why);
        return false;
    }

    // EStoreNotice exceptions gathered since the last call, each told once.
    virtual QList<std::exception_ptr> takeNotices() { return {}; }
};

}  // namespace qev
