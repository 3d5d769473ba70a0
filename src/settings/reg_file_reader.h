#pragma once
// The settings file read and never written: for commands that only use the stored choices.
// Unlike RegFileBackend it keeps a file it cannot read where it is, and every write refuses.

#include "settings/reg_document.h"
#include "settings/settings_backend.h"

#include <optional>

namespace qev {

class RegFileReader final : public SettingsBackend {
public:
    explicit RegFileReader(QString filePath);

    const QString& filePath() const { return filePath_; }

    // A missing file reads as empty. A file that cannot be opened raises the store's read
    // error, one that is no settings file an EStoreError saying so; the file is left alone.
    bool keyExists(const QString& key) override;
    bool valueExists(const QString& key, const QString& name) override;
    qint32 readInteger(const QString& key, const QString& name, qint32 defaultValue) override;
    QString readString(const QString& key, const QString& name,
                       const QString& defaultValue) override;
    // Raise EStoreError: this backend never changes the file.
    void writeInteger(const QString& key, const QString& name, qint32 value) override;
    void writeString(const QString& key, const QString& name, const QString& value) override;
    void deleteValue(const QString& key, const QString& name) override;
    QString displayKey(const QString& key) const override;

private:
    // Read once: a command's reads all see the same file.
    const RegDocument& document(const QString& key, const QString& name);
    [[noreturn]] void refuse(const QString& key);

    QString filePath_;
    std::optional<RegDocument> document_;
};

}  // namespace qev
