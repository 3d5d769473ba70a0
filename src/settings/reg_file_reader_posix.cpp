#include "settings/reg_file_reader.h"

#include "settings/reg_parser.h"
#include "settings/settings_errors.h"
#include "settings/settings_file.h"

#include <QDir>

namespace qev {

namespace {

QString fileKey(const QString& key) {
    return QStringLiteral("HKEY_CURRENT_USER\\") + key;
}

}  // namespace

RegFileReader::RegFileReader(QString filePath) : filePath_(std::move(filePath)) {}

QString RegFileReader::displayKey(const QString& key) const {
    return filePath_ + u'\\' + key;
}

const RegDocument& RegFileReader::document(const QString& key, const QString& name) {
    if (document_)
        return *document_;
    // Read without ever waiting on it: a pipe or device in its place is refused unopened.
    const SettingsFile file = readSettingsFile(filePath_, kMaxSettingsFileBytes);
    const QString path = QDir::toNativeSeparators(filePath_);
    switch (file.status) {
        case SettingsFile::Missing:
            document_.emplace();
            return *document_;
        case SettingsFile::Failed:
            throw store_messages::readFailure(filePath_, key, name, qt_error_string(file.error));
        case SettingsFile::NotRegular:
            throw EStoreError(QStringLiteral("The settings file \"%1\" is not a regular file (it "
                                             "is %2); it has been left as it is")
                                  .arg(path, file.kind));
        case SettingsFile::TooLarge:
            throw EStoreError(QStringLiteral("The settings file \"%1\" could not be read (it is "
                                             "larger than %2 bytes); it has been left as it is")
                                  .arg(path)
                                  .arg(kMaxSettingsFileBytes));
        case SettingsFile::Regular:
            break;
    }
    RegParseResult parsed = parseRegFile(file.bytes);
    if (!parsed.readable) {
        throw EStoreError(QStringLiteral("The settings file \"%1\" could not be read (%2); it has "
                                         "been left as it is")
                              .arg(path, parsed.problem));
    }
    document_ = std::move(parsed.document);
    return *document_;
}

bool RegFileReader::keyExists(const QString& key) {
    return document(key, QString()).keyExists(fileKey(key));
}

bool RegFileReader::valueExists(const QString& key, const QString& name) {
    return document(key, name).value(fileKey(key), name) != nullptr;
}

qint32 RegFileReader::readInteger(const QString& key, const QString& name, qint32 defaultValue) {
    const RegValue* value = document(key, name).value(fileKey(key), name);
    return value == nullptr ? defaultValue : value->toInteger(defaultValue);
}

QString RegFileReader::readString(const QString& key, const QString& name,
                                  const QString& defaultValue) {
    const RegValue* value = document(key, name).value(fileKey(key), name);
    return value == nullptr ? defaultValue : value->toText(defaultValue);
}

void RegFileReader::refuse(const QString& key) {
    throw EStoreError(store_messages::openForWrite(filePath_, key));
}

void RegFileReader::writeInteger(const QString& key, const QString&, qint32) {
    refuse(key);
}

void RegFileReader::writeString(const QString& key, const QString&, const QString&) {
    refuse(key);
}

void RegFileReader::deleteValue(const QString& key, const QString&) {
    refuse(key);
}

}  // namespace qev
