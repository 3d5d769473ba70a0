#include "base/config_folder.h"

#include <QDir>

namespace qev {

QString stateFolder() {
    // This Qt has no location for it: the XDG rules, as Qt applies them to the others (a
    // relative $XDG_STATE_HOME is ignored).
    const QString set = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base =
        QDir::isAbsolutePath(set) ? set : QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/QEV");
}

}  // namespace qev
