#include "app/window_instance.h"

#include "base/config_folder.h"

namespace qev {

QString WindowLock::path() {
    return configFolder() + QStringLiteral("/window.lock");
}

}  // namespace qev
