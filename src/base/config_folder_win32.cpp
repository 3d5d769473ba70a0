#include "base/config_folder.h"

namespace qev {

QString stateFolder() {
    return configFolder() + QStringLiteral("/state");
}

}  // namespace qev
