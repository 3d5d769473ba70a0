#include "settings/reg_win_backend.h"

#include "settings/settings_errors.h"

#include <windows.h>

namespace qev {

namespace {

const QString kHive = QStringLiteral("HKEY_CURRENT_USER");

LPCWSTR wide(const QString& text) {
    return reinterpret_cast<LPCWSTR>(text.utf16());
}

// An open key, closed when it goes.
class Key {
public:
    Key() = default;
    ~Key() {
        if (h_ != nullptr)
            ::RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    LSTATUS open(const QString& path, REGSAM access) {
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, wide(path), 0, access, &h_);
    }
    // Creates the key and any missing parents.
    LSTATUS create(const QString& path, REGSAM access) {
        return ::RegCreateKeyExW(HKEY_CURRENT_USER, wide(path), 0, nullptr, 0, access, nullptr, &h_,
                                 nullptr);
    }
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

// The registry's wording names the key below the hive and the value.
EStoreError readError(const QString& key, const QString& name) {
    return EStoreError(QStringLiteral("Unable to open key \"%1\\%2\" for read").arg(key, name));
}

bool missing(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

// The registry's words for a write that failed, then the system's reason ("Access is denied").
EStoreError writeError(const QString& text, LSTATUS status) {
    wchar_t buffer[512];
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, DWORD(status), 0, buffer, 512, nullptr);
    QString reason = QString::fromWCharArray(buffer, int(n)).trimmed();
    while (reason.endsWith(u'.'))
        reason.chop(1);
    if (reason.isEmpty())
        reason = QStringLiteral("error %1").arg(status);
    return EStoreError(QStringLiteral("%1 (%2)").arg(text, reason));
}

}  // namespace

QString RegistryBackend::displayKey(const QString& key) const {
    return kHive + u'\\' + key;
}

bool RegistryBackend::keyExists(const QString& key) {
    Key k;
    const LSTATUS status = k.open(key, KEY_READ);
    // A key that is there but may not be read still exists; reading it will say so.
    return !missing(status);
}

std::optional<RegValue> RegistryBackend::readValue(const QString& key, const QString& name) {
    Key k;
    const LSTATUS status = k.open(key, KEY_QUERY_VALUE);
    if (missing(status))
        return std::nullopt;
    if (status != ERROR_SUCCESS)
        throw readError(key, name);
    // The value may grow between asking its size and reading it: ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS q = ::RegQueryValueExW(k.get(), wide(name), nullptr, &type, nullptr, &size);
        if (missing(q))
            return std::nullopt;
        if (q != ERROR_SUCCESS)
            throw readError(key, name);
        RegValue value;
        value.type = type;
        value.data.resize(qsizetype(size));
        q = ::RegQueryValueExW(k.get(), wide(name), nullptr, &type,
                               reinterpret_cast<BYTE*>(value.data.data()), &size);
        if (q == ERROR_MORE_DATA)
            continue;
        if (missing(q))
            return std::nullopt;
        if (q != ERROR_SUCCESS)
            throw readError(key, name);
        value.type = type;
        value.data.resize(qsizetype(size));
        return value;
    }
    throw readError(key, name);
}

bool RegistryBackend::valueExists(const QString& key, const QString& name) {
    Key k;
    const LSTATUS status = k.open(key, KEY_QUERY_VALUE);
    if (missing(status))
        return false;
    if (status != ERROR_SUCCESS)
        throw readError(key, name);
    return ::RegQueryValueExW(k.get(), wide(name), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

qint32 RegistryBackend::readInteger(const QString& key, const QString& name, qint32 defaultValue) {
    const std::optional<RegValue> value = readValue(key, name);
    return value ? value->toInteger(defaultValue) : defaultValue;
}

QString RegistryBackend::readString(const QString& key, const QString& name,
                                    const QString& defaultValue) {
    const std::optional<RegValue> value = readValue(key, name);
    return value ? value->toText(defaultValue) : defaultValue;
}

void RegistryBackend::writeInteger(const QString& key, const QString& name, qint32 value) {
    write(key, name, RegValue::fromInteger(value));
}

void RegistryBackend::writeString(const QString& key, const QString& name, const QString& value) {
    write(key, name, RegValue::fromString(value));
}

void RegistryBackend::write(const QString& key, const QString& name, const RegValue& value) {
    Key k;
    const LSTATUS status = k.create(key, KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) {
        Key existing;
        if (missing(existing.open(key, KEY_READ)))
            throw writeError(QStringLiteral("Unable to create key '%1'").arg(key), status);
        throw writeError(store_messages::openForWrite(kHive, key), status);
    }
    const LSTATUS set = ::RegSetValueExW(k.get(), wide(name), 0, value.type,
                                         reinterpret_cast<const BYTE*>(value.data.constData()),
                                         DWORD(value.data.size()));
    if (set != ERROR_SUCCESS)
        throw writeError(store_messages::openForWrite(kHive, key), set);
}

void RegistryBackend::deleteValue(const QString& key, const QString& name) {
    Key k;
    const LSTATUS status = k.open(key, KEY_SET_VALUE | KEY_QUERY_VALUE);
    if (missing(status))
        return;
    if (status != ERROR_SUCCESS)
        throw writeError(store_messages::openForWrite(kHive, key), status);
    const LSTATUS deleted = ::RegDeleteValueW(k.get(), wide(name));
    if (deleted != ERROR_SUCCESS && !missing(deleted))
        throw writeError(store_messages::accessValue(kHive, key, name), deleted);
}

}  // namespace qev
