#pragma once
// The settings backend on Windows: the per-user registry itself. Every operation opens the key
// it needs and closes it again; no handle stays open between operations.

#include "settings/reg_value.h"
#include "settings/settings_backend.h"

#include <optional>

namespace qev {

class RegistryBackend final : public SettingsBackend {
public:
    bool keyExists(const QString& key) override;
    bool valueExists(const QString& key, const QString& name) override;
    qint32 readInteger(const QString& key, const QString& name, qint32 defaultValue) override;
    QString readString(const QString& key, const QString& name,
                       const QString& defaultValue) override;
    void writeInteger(const QString& key, const QString& name, qint32 value) override;
    void writeString(const QString& key, const QString& name, const QString& value) override;
    void deleteValue(const QString& key, const QString& name) override;
    QString displayKey(const QString& key) const override;

    // The value as stored, or nothing when the key or the value is missing; raises when the
    // key is there but cannot be read.
    std::optional<RegValue> readValue(const QString& key, const QString& name);

private:
    void write(const QString& key, const QString& name, const RegValue& value);
};

}  // namespace qev
