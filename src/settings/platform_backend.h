#pragma once
// The settings backend of the platform the program runs on: the registry on Windows, the
// settings file elsewhere.

#include "settings/settings_backend.h"

#include <memory>

namespace qev {

std::unique_ptr<SettingsBackend> createPlatformSettingsBackend();

}  // namespace qev
