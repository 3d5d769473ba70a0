#pragma once
// The settings backend of the platform the program runs on: the registry on Windows, the
// settings file elsewhere.

#include "settings/settings_backend.h"

#include <QString>

#include <memory>

namespace qev {

// The backend the window restores from and saves to; settingsFile, when given, stands in for
// the settings file where there is one (tests).
std::unique_ptr<SettingsBackend> createPlatformSettingsBackend(const QString& settingsFile = {});

// The same settings for reading alone: nothing is ever written, locked or renamed, so a command
// may read them while a window has them open. settingsFile, when given, stands in for the
// settings file where there is one (tests); the registry has none.
std::unique_ptr<SettingsBackend> createReadOnlySettingsBackend(const QString& settingsFile = {});

// Where the settings are, as the user can go and look: the settings file, or the registry key.
QString settingsPlace(const QString& settingsFile = {});

}  // namespace qev
