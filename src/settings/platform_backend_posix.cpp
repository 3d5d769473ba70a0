#include "settings/platform_backend.h"

#include "settings/reg_file_backend.h"
#include "settings/reg_file_reader.h"

namespace qev {

std::unique_ptr<SettingsBackend> createPlatformSettingsBackend(const QString& settingsFile) {
    return std::make_unique<RegFileBackend>(settingsPlace(settingsFile));
}

std::unique_ptr<SettingsBackend> createReadOnlySettingsBackend(const QString& settingsFile) {
    return std::make_unique<RegFileReader>(settingsPlace(settingsFile));
}

QString settingsPlace(const QString& settingsFile) {
    return settingsFile.isEmpty() ? RegFileBackend::defaultFilePath() : settingsFile;
}

}  // namespace qev
