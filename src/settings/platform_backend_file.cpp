#include "settings/platform_backend.h"
#include "settings/reg_file_backend.h"

namespace qev {

std::unique_ptr<SettingsBackend> createPlatformSettingsBackend() {
    return std::make_unique<RegFileBackend>(RegFileBackend::defaultFilePath());
}

}  // namespace qev
