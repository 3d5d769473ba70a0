#include "settings/platform_backend.h"

#include "settings/reg_win_backend.h"

namespace qev {

std::unique_ptr<SettingsBackend> createPlatformSettingsBackend(const QString&) {
    return std::make_unique<RegistryBackend>();
}

// Reading the registry changes nothing in it, so the window's backend serves as it is.
std::unique_ptr<SettingsBackend> createReadOnlySettingsBackend(const QString&) {
    return createPlatformSettingsBackend();
}

QString settingsPlace(const QString&) {
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\QEV\\MainForm");
}

}  // namespace qev
