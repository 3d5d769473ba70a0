#pragma once
// Errors of the settings store. Messages keep the registry's wording; where the registry names
// its hive, the file backend names its file, which is what a user can go and look at.

#include "base/exception.h"

namespace qev {

// A store operation failed; it goes to the caller.
class EStoreError : public Exception {
public:
    using Exception::Exception;
};

// Something the user must be told about once, though the operation went on (a damaged file
// kept aside, a list too long to be real). Never thrown by an operation; collected instead.
class EStoreNotice : public Exception {
public:
    using Exception::Exception;
};

namespace store_messages {

// where: the hive, or the file standing in for it; key: the key path below it.
inline QString createKey(const QString& where, const QString& key) {
    return QStringLiteral("Unable to create key '%1\\%2'").arg(where, key);
}
inline QString openForWrite(const QString& where, const QString& key) {
    return QStringLiteral("Unable to open key \"%1\\%2\" for write").arg(where, key);
}
inline QString openForRead(const QString& where, const QString& key, const QString& name) {
    return QStringLiteral("Unable to open key \"%1\\%2\\%3\" for read").arg(where, key, name);
}
inline QString accessValue(const QString& where, const QString& key, const QString& name) {
    return QStringLiteral("Unable to open key \"%1\\%2\" and access value \"%3\"")
        .arg(where, key, name);
}

// The same in plain words, for the line after the registry's: the file and the system's reason.
inline QString notSaved(const QString& file, const QString& reason) {
    const QString text = QStringLiteral("QEV could not save its settings in \"%1\"").arg(file);
    return reason.isEmpty() ? text : QStringLiteral("%1: %2").arg(text, reason);
}
inline QString notRead(const QString& file, const QString& reason) {
    return QStringLiteral(
               "QEV could not read its settings file \"%1\": %2. It starts from its "
               "default settings")
        .arg(file, reason);
}

// A failure to read a settings file, with the plain words after the registry's.
inline EStoreError readFailure(const QString& file, const QString& key, const QString& name,
                               const QString& reason) {
    EStoreError error(openForRead(file, key, name));
    error.setDetail(notRead(file, reason));
    return error;
}

}  // namespace store_messages

}  // namespace qev
