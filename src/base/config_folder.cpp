#include "base/config_folder.h"

#include <QStandardPaths>

namespace qev {

QString configFolder() {
    // Qt applies the XDG rules (a relative $XDG_CONFIG_HOME is ignored), and needs no
    // application object for it.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/QEV");
}

}  // namespace qev
